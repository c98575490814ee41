// Runs written to scratch files and read back, failures of writing and reading
// (after which no file may be left), the area list and file names.
#include <cstring>
#include <fstream>
#include <set>

#include "platform/thread.h"
#include "scratch/scratch_reader_state.h"
#include "scratch/scratch_run_writer.h"
#include "scratch_test_support.h"

namespace scratch_test {
namespace {

using ScratchRuns = ScratchRunTest;

TEST_P(ScratchRuns, RowsComeBackInOrderAndWhole) {
  struct {
    uint32_t width, rows, extent = ScratchExtentSize;  // Extent: of the reads.
  } constexpr kShapes[] = {
      {100, 50000},     // Three extents, two rows split.
      {512, 3 * 4096},  // Nothing split.
      {1, ScratchExtentSize + 5000},
      {700001, 7},  // Wide rows split.
      // Read extents smaller than the written ones, some not dividing them.
      {64, ScratchExtentSize / 64 + 1, 4096},  // Just past a written extent.
      {6000, 699, 3 * 4096},                   // The file's last read is 4096 bytes.
      {kMergeReadExtentBytes / 2 - 1, 9, kMergeReadExtentBytes},  // Widest split rows.
  };
  for (const auto& shape : kShapes) {
    SCOPED_TRACE(testing::Message()
                 << shape.width << " x " << shape.rows << " in " << shape.extent);
    PatternRun run(shape.rows, shape.width);
    ScratchReader* reader = nullptr;
    ASSERT_EQ(WriteRun(&list_, run, &reader), S_OK);
#ifndef _WIN32  // A Windows delete-on-close file keeps its name until it closes.
    EXPECT_EQ(area_.Count(), 0u) << "an open scratch file must have no name";
#endif
    EXPECT_EQ(plat::FileUsesUring(reader->Private->File), GetParam() == Engine::kUring);
    const std::set<uint32_t> fromBuffer = ReadBack(reader, run, shape.extent);
    EXPECT_EQ(fromBuffer, SplitRows(shape.rows, shape.width, shape.extent));
    if (shape.width == 100) {
      EXPECT_EQ(fromBuffer, (std::set<uint32_t>{20971, 41943}));
    }
    CloseScratchReader(reader);
    EXPECT_EQ(area_.Count(), 0u);
  }
}

// A refused extent size leaves the reader as it was, ready to start.
TEST_P(ScratchRuns, ReadExtentsTooSmallForTwoRowsOrUnalignedAreRefused) {
  PatternRun run(100, 2049);
  ScratchReader* reader = nullptr;
  ASSERT_EQ(WriteRun(&list_, run, &reader), S_OK);
  EXPECT_EQ(StartScratchRead(reader, 4096), E_INVALIDARG);
  EXPECT_EQ(StartScratchRead(reader, 8192 + 512), E_INVALIDARG);
  EXPECT_EQ(ReadBack(reader, run, 8192), SplitRows(run.count(), run.width, 8192));
  CloseScratchReader(reader);
}

// A run may be released unread, or half-way with a read-ahead in flight.
TEST_P(ScratchRuns, ReadersCloseInAnyState) {
  PatternRun run(30000, 200);
  ScratchReader *unread, *halfRead, *started;
  ASSERT_EQ(WriteRun(&list_, run, &unread), S_OK);
  ASSERT_EQ(WriteRun(&list_, run, &halfRead), S_OK);
  ASSERT_EQ(WriteRun(&list_, run, &started), S_OK);
  ASSERT_EQ(StartScratchRead(halfRead), S_OK);
  for (uint32_t i = 0; i < 15000; ++i) ASSERT_EQ(NextScratchRow(halfRead), S_OK);
  EXPECT_EQ(std::memcmp(halfRead->CurrentRow, run.pointers[14999], run.width), 0);
  ASSERT_EQ(StartScratchRead(started), S_OK);
  CloseScratchReader(unread);
  CloseScratchReader(halfRead);
  CloseScratchReader(started);
}

TEST_P(ScratchRuns, RefusedRunsReserveNoName) {
  EXPECT_EQ(WriteRun(&list_, PatternRun(3, ScratchExtentSize / 2 + 1), &reader_), E_INVALIDARG);
  ScratchAreaList noAreas;
  EXPECT_EQ(WriteRun(&noAreas, run_, &reader_), E_INVALIDARG);
  EXPECT_EQ(list_.NextFileNumber, 1u);
}

TEST_P(ScratchRuns, ReservingOpeningOrBufferingFails) {
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

TEST_P(ScratchRuns, AnyFailedExtentWriteFailsTheRun) {
  for (uint32_t extent = 0; extent < 3; ++extent) {
    plat::InjectFault(plat::FaultSite::kFileWrite, extent, ERROR_IO_DEVICE);
    EXPECT_EQ(WriteRun(&list_, run_, &reader_), HRESULT_FROM_WIN32(ERROR_IO_DEVICE)) << extent;
    EXPECT_EQ(reader_, nullptr);
    EXPECT_EQ(area_.Count(), 0u);
  }
  // A failure leaving no error number is still one.
  plat::InjectFault(plat::FaultSite::kFileWrite, 1, ERROR_SUCCESS);
  EXPECT_TRUE(FAILED(WriteRun(&list_, run_, &reader_)));
}

TEST_P(ScratchRuns, FailedReadIsReportedWhereItsExtentIsNeeded) {
  ASSERT_EQ(WriteRun(&list_, run_, &reader_), S_OK);
  plat::InjectFault(plat::FaultSite::kFileRead, 1, ERROR_IO_DEVICE);  // The second extent.
  ASSERT_EQ(StartScratchRead(reader_), S_OK);
  uint32_t row = 0;
  EXPECT_EQ(ReadOn(&row), HRESULT_FROM_WIN32(ERROR_IO_DEVICE));
  EXPECT_EQ(row, ScratchExtentSize / run_.width) << "the row split into the second extent";
  CloseScratchReader(reader_);
}

INSTANTIATE_TEST_SUITE_P(Engines, ScratchRuns, AllEngines(), EngineName);

// Empty text is the temporary directory; pieces are kept as written, appended.
TEST(ScratchAreas, ParsesTheText) {
  std::u16string temp;
  ASSERT_TRUE(plat::GetTempPath(&temp));
  ScratchAreaList list;
  ASSERT_EQ(ParseScratchAreas(&list, nullptr), S_OK);
  EXPECT_EQ(list.Areas, std::vector{temp});
  ASSERT_EQ(ParseScratchAreas(&list, u"a;; spaced /;"), S_OK);
  EXPECT_EQ(list.Areas, (std::vector<std::u16string>{temp, u"a", u" spaced /"}));
  EXPECT_EQ(list.NextArea, 3u);
  EXPECT_EQ(ParseScratchAreas(&list, u";;;"), E_INVALIDARG);
  EXPECT_EQ(list.Areas.size(), 3u);
}

// Taken names are skipped, never overwritten; the number wraps.
TEST(ScratchFileNames, TakenNamesAreSkipped) {
  TempDir area;
  fs::create_directory(area.path() / "tolvarine1");
  std::ofstream(area.path() / "tolvarine2") << "in use";
  ScratchAreaList list;
  std::u16string name;
  const std::u16string withSlash = area.u16() + u"/";
  ASSERT_EQ(MakeScratchFileName(&list, withSlash, &name), S_OK);
  EXPECT_EQ(name, withSlash + u"/tolvarine3");
  EXPECT_EQ(list.NextFileNumber, 4u);
  EXPECT_EQ(fs::file_size(area.path() / "tolvarine2"), 6u);

  list.NextFileNumber = UINT32_MAX;
  ASSERT_EQ(MakeScratchFileName(&list, area.u16(), &name), S_OK);
  EXPECT_EQ(name, area.u16() + u"/tolvarine4294967295");
  EXPECT_EQ(list.NextFileNumber, 0u);
}

}  // namespace
}  // namespace scratch_test
