// Where POSIX decides: memory mounts, full tmpfs, descriptors, files cut short.
#include <sys/resource.h>
#include <unistd.h>

#include <cstring>
#include <thread>

#include "platform/async_file.h"
#include "platform/file_system.h"
#include "scratch/scratch_reader_state.h"
#include "tests/scratch/scratch_test_support.h"
#include "tests/support/posix_test_files.h"

namespace scratch_test {
namespace {

using testsupport::MemoryMount;

// A memory mount root is kept as an area; it refuses direct I/O (ramfs; tmpfs
// before Linux 6.6), so the run is written buffered.
TEST(ScratchStorage, MemoryMountIsWrittenBuffered) {
  MemoryMount memory(0);
  REQUIRE_MOUNTED(memory);
  ScratchAreaList list;
  ASSERT_EQ(ParseScratchAreas(&list, memory.u16().c_str()), S_OK);
  PatternRun run(20000, 150);
  ScratchReader* reader = nullptr;
  ASSERT_EQ(WriteRun(&list, run, &reader), S_OK);
  EXPECT_FALSE(plat::FileUsesDirectIo(reader->Private->File));
  EXPECT_EQ(ReadBack(reader, run), SplitRows(run.count(), run.width));
  CloseScratchReader(reader);
  EXPECT_TRUE(memory.Empty());
}

using ScratchRunsOnPosix = ScratchRunTest;

// The descriptor of the open (unnamed) scratch file in `area`.
int ScratchFileDescriptor(const fs::path& area) {
  const std::string prefix = (area / "tolvarine").string();
  for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    const std::string target = fs::read_symlink(entry.path(), error).string();
    if (!error && target.rfind(prefix, 0) == 0) return std::stoi(entry.path().filename());
  }
  return -1;
}

// Only the run's last extent may be short, else rows come from the wrong place.
// Whole extents: the second reads short, the file grows again; small: it ends.
TEST_P(ScratchRunsOnPosix, ShortExtentBeforeTheRunsEndFailsTheRead) {
  for (uint32_t extent : {ScratchExtentSize, kMergeReadExtentBytes}) {
    const uint32_t shortAt = extent == ScratchExtentSize ? extent : 2 * extent;
    ASSERT_EQ(WriteRun(&list_, run_, &reader_), S_OK);
    const int fd = ScratchFileDescriptor(area_.path());
    ASSERT_GE(fd, 0);
    ASSERT_EQ(0, ftruncate(fd, shortAt + 4096));
    ASSERT_EQ(StartScratchRead(reader_, extent), S_OK);
    uint32_t row = 0;
    if (extent == ScratchExtentSize) {
      ASSERT_EQ(NextScratchRow(reader_), S_OK);
      ScratchReader::State* state = reader_->Private;
      uint32_t bytes = 0;
      ASSERT_TRUE(plat::WaitForIo(state->File, &state->CurrentSlot->Io, &bytes));
      ASSERT_EQ(4096u, bytes);
      ASSERT_EQ(0, ftruncate(fd, 3 * ScratchExtentSize));
      row = 1;
    }
    EXPECT_EQ(ReadOn(&row), HRESULT_FROM_WIN32(ERROR_HANDLE_EOF));
    EXPECT_EQ(row, shortAt / run_.width) << "the row split into the short extent";
    CloseScratchReader(reader_);
  }
}

TEST_P(ScratchRunsOnPosix, AreasThatCannotHoldFiles) {
  ScratchAreaList list;
  ASSERT_EQ(ParseScratchAreas(&list, (area_.u16() + u"/missing;/etc/passwd/x").c_str()), S_OK);
  EXPECT_EQ(WriteRun(&list, run_, &reader_), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  list.NextArea = 1;
  EXPECT_EQ(WriteRun(&list, run_, &reader_), HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(reader_, nullptr);
}

TEST_P(ScratchRunsOnPosix, FullDiskFailsTheRunAndLeavesNothing) {
  MemoryMount small(4);
  REQUIRE_MOUNTED(small);
  ScratchAreaList list;
  ASSERT_EQ(ParseScratchAreas(&list, small.u16().c_str()), S_OK);
  EXPECT_EQ(WriteRun(&list, PatternRun(3000, 2000), &reader_), HRESULT_FROM_WIN32(ERROR_DISK_FULL));
  EXPECT_EQ(reader_, nullptr);
  EXPECT_TRUE(small.Empty());
  ASSERT_EQ(WriteRun(&list, PatternRun(1000, 2000), &reader_), S_OK);
  CloseScratchReader(reader_);
  EXPECT_TRUE(small.Empty());
}

// Files share one ring (a descriptor each); two threads reading at once
// collect each other's completions.
TEST_P(ScratchRunsOnPosix, ManyFilesReadFromTwoThreadsWithinFewDescriptors) {
  constexpr uint32_t kRuns = 24;
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
  rlimit low = saved;
  low.rlim_cur = std::min<rlim_t>(saved.rlim_cur, kRuns + 12);
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
  PatternRun run(30000, 100);  // Two extents, one row split.
  std::vector<ScratchReader*> readers(kRuns, nullptr);
  HRESULT written = S_OK;
  for (ScratchReader*& reader : readers)
    written = FAILED(written) ? written : WriteRun(&list_, run, &reader);
  auto readHalf = [&](uint32_t first, int* bad) {  // A row of each of its runs at a time.
    for (uint32_t r = first; r < kRuns; r += 2) *bad += StartScratchRead(readers[r]) != S_OK;
    for (uint32_t i = 0; i < run.count() && *bad == 0; ++i) {
      for (uint32_t r = first; r < kRuns; r += 2) {
        *bad += NextScratchRow(readers[r]) != S_OK ||
                std::memcmp(readers[r]->CurrentRow, run.pointers[i], run.width) != 0;
      }
    }
  };
  int bad[2] = {0, 0};
  if (written == S_OK) {
    std::thread other(readHalf, 1, &bad[1]);
    readHalf(0, &bad[0]);
    other.join();
  }
  for (ScratchReader* reader : readers) CloseScratchReader(reader);
  setrlimit(RLIMIT_NOFILE, &saved);
  EXPECT_EQ(written, S_OK);
  EXPECT_EQ(bad[0] + bad[1], 0);
}

INSTANTIATE_TEST_SUITE_P(Engines, ScratchRunsOnPosix, AllEngines(), EngineName);

}  // namespace
}  // namespace scratch_test
