// Writing and reading runs when something goes wrong: refused arguments,
// unusable areas, the end of input, a full disk and injected system failures.
// Whatever happens, no file may be left in the area.
#include <atomic>

#include "scratch/scratch_reader_state.h"
#include "scratch_test_support.h"

namespace scratch_test {
namespace {

class ScratchFailure : public ScratchTest<Engine> {
 protected:
  void SetUp() override { UseEngine(GetParam()); }

  // Steps the reader on from row *row until a step fails or the run ends:
  // that step's failure (S_OK if none), *row the rows then read.
  HRESULT ReadOn(uint32_t* row) {
    HRESULT hr = S_OK;
    while (*row < run_.count() && (hr = NextScratchRow(reader_)) == S_OK) ++*row;
    return hr;
  }

  PatternRun run_{18000, 250};  // Three extents, the last one partly filled.
  ScratchReader* reader_ = nullptr;
};

TEST_P(ScratchFailure, RefusedRunsReserveNoName) {
  EXPECT_EQ(WriteRun(&list_, PatternRun(3, ScratchExtentSize / 2 + 1), &reader_), E_INVALIDARG);
  EXPECT_EQ(WriteRun(&list_, PatternRun(3, 0), &reader_), E_INVALIDARG);
  ScratchAreaList noAreas;
  EXPECT_EQ(WriteRun(&noAreas, run_, &reader_), E_INVALIDARG);
  EXPECT_EQ(list_.NextFileNumber, 1u);
}

TEST_P(ScratchFailure, ReservingOpeningOrBufferingFails) {
  plat::InjectFault(plat::FaultSite::kFileCreate, 0, ERROR_ACCESS_DENIED);
  EXPECT_EQ(WriteRun(&list_, run_, &reader_), HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
  EXPECT_EQ(list_.NextFileNumber, 2u);
  EXPECT_EQ(list_.NextArea, 0u) << "the area is tried again for the next file";

  // After the name is reserved: the reserved name must go too.
  plat::InjectFault(plat::FaultSite::kFileCreate, 1, ERROR_SHARING_VIOLATION);
  EXPECT_EQ(WriteRun(&list_, run_, &reader_), HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(area_.Count(), 0u);
  plat::InjectFault(plat::FaultSite::kPageAlloc, 1, ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(WriteRun(&list_, run_, &reader_), HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY));
  EXPECT_EQ(reader_, nullptr);
}

TEST_P(ScratchFailure, AnyFailedExtentWriteFailsTheRun) {
  for (uint32_t extent = 0; extent < 3; ++extent) {
    plat::InjectFault(plat::FaultSite::kFileWrite, extent, ERROR_IO_DEVICE);
    EXPECT_EQ(WriteRun(&list_, run_, &reader_), HRESULT_FROM_WIN32(ERROR_IO_DEVICE)) << extent;
    EXPECT_EQ(reader_, nullptr);
    EXPECT_EQ(area_.Count(), 0u);
  }
  // A failure that leaves no error number is still a failure.
  plat::InjectFault(plat::FaultSite::kFileWrite, 1, ERROR_SUCCESS);
  EXPECT_TRUE(FAILED(WriteRun(&list_, run_, &reader_)));
}

TEST_P(ScratchFailure, FailedReadIsReportedWhereItsExtentIsNeeded) {
  ASSERT_EQ(WriteRun(&list_, run_, &reader_), S_OK);
  plat::InjectFault(plat::FaultSite::kFileRead, 1, ERROR_IO_DEVICE);  // The second extent.
  ASSERT_EQ(StartScratchRead(reader_), S_OK);
  uint32_t row = 0;
  EXPECT_EQ(ReadOn(&row), HRESULT_FROM_WIN32(ERROR_IO_DEVICE));
  EXPECT_EQ(row, ScratchExtentSize / run_.width) << "the row split into the second extent";
  CloseScratchReader(reader_);

  ASSERT_EQ(WriteRun(&list_, run_, &reader_), S_OK);
  plat::InjectFault(plat::FaultSite::kFileRead, 0, ERROR_IO_DEVICE);
  ASSERT_EQ(StartScratchRead(reader_), S_OK);
  EXPECT_EQ(NextScratchRow(reader_), HRESULT_FROM_WIN32(ERROR_IO_DEVICE));
  CloseScratchReader(reader_);
}

// The descriptor of the open scratch file in `area`: its name is gone, but
// the system still tells where it was.
int ScratchFileDescriptor(const fs::path& area) {
  const std::string prefix = (area / "tolvarine").string();
  for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    const std::string target = fs::read_symlink(entry.path(), error).string();
    if (!error && target.rfind(prefix, 0) == 0) return std::stoi(entry.path().filename());
  }
  return -1;
}

// Only the extent that holds the end of the run may be short: rows after a
// short extent in the middle would be taken from the wrong place.
TEST_P(ScratchFailure, ShortExtentBeforeTheRunsEndFailsTheRead) {
  ASSERT_EQ(WriteRun(&list_, run_, &reader_), S_OK);
  const int fd = ScratchFileDescriptor(area_.path());
  ASSERT_GE(fd, 0);
  ASSERT_EQ(0, ftruncate(fd, ScratchExtentSize + 4096));
  ASSERT_EQ(StartScratchRead(reader_), S_OK);
  ASSERT_EQ(NextScratchRow(reader_), S_OK);
  // The second extent has been read short; then the file goes on again.
  ScratchReader::State* state = reader_->Private;
  uint32_t bytes = 0;
  ASSERT_TRUE(plat::WaitForIo(state->File, &state->CurrentSlot->Io, &bytes));
  ASSERT_EQ(4096u, bytes);
  ASSERT_EQ(0, ftruncate(fd, 3 * ScratchExtentSize));
  uint32_t row = 1;
  EXPECT_EQ(ReadOn(&row), HRESULT_FROM_WIN32(ERROR_HANDLE_EOF));
  EXPECT_EQ(row, ScratchExtentSize / run_.width) << "the row split into the short extent";
  CloseScratchReader(reader_);
}

TEST_P(ScratchFailure, FileEndingBeforeTheRunFailsSmallExtentReads) {
  ASSERT_EQ(WriteRun(&list_, run_, &reader_), S_OK);
  const int fd = ScratchFileDescriptor(area_.path());
  ASSERT_GE(fd, 0);
  ASSERT_EQ(0, ftruncate(fd, 2 * kMergeReadExtentBytes + 4096));
  ASSERT_EQ(StartScratchRead(reader_, kMergeReadExtentBytes), S_OK);
  uint32_t row = 0;
  EXPECT_EQ(ReadOn(&row), HRESULT_FROM_WIN32(ERROR_HANDLE_EOF));
  EXPECT_EQ(row, 2 * kMergeReadExtentBytes / run_.width) << "the row split into the short extent";
  CloseScratchReader(reader_);
}

TEST_P(ScratchFailure, AreasThatCannotHoldFiles) {
  ScratchAreaList list;
  ASSERT_EQ(ParseScratchAreas(&list, (area_.u16() + u"/missing;/etc/passwd/x").c_str()), S_OK);
  EXPECT_EQ(WriteRun(&list, run_, &reader_), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  list.NextArea = 1;
  EXPECT_EQ(WriteRun(&list, run_, &reader_), HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(reader_, nullptr);
}

TEST_P(ScratchFailure, FullDiskFailsTheRunAndLeavesNothing) {
  MemoryMount small(4);
  REQUIRE_MOUNTED(small);
  ScratchAreaList list;
  ASSERT_EQ(ParseScratchAreas(&list, small.u16().c_str()), S_OK);
  EXPECT_EQ(WriteRun(&list, PatternRun(3000, 2000), &reader_), HRESULT_FROM_WIN32(ERROR_DISK_FULL));
  EXPECT_EQ(reader_, nullptr);
  EXPECT_TRUE(small.Empty());
  // The space is back: a run that fits goes through.
  ASSERT_EQ(WriteRun(&list, PatternRun(1000, 2000), &reader_), S_OK);
  CloseScratchReader(reader_);
  EXPECT_TRUE(small.Empty());
}

INSTANTIATE_TEST_SUITE_P(Engines, ScratchFailure, testing::Values(Engine::kUring, Engine::kThread),
                         EngineName);

}  // namespace
}  // namespace scratch_test
