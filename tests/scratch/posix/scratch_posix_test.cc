// Scratch files where POSIX decides what happens: memory mounts, a full
// tmpfs, the descriptor limit, and files cut short behind the reader's back.
#include <sys/resource.h>
#include <sys/statfs.h>
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

using Areas = std::vector<std::u16string>;
using testsupport::MemoryMount;

// The local mount root is one the test makes: "/" could be anything.
TEST(ScratchAreas, LocalMountRootsAreKept) {
  TempDir dir;
  EXPECT_EQ(plat::GetMountRootDriveType(dir.u16()), plat::DriveType::kNoRootDir);
  EXPECT_EQ(plat::GetMountRootDriveType(u"/etc/passwd"), plat::DriveType::kNoRootDir);

  MemoryMount memory(1);
  REQUIRE_MOUNTED(memory);
  EXPECT_EQ(plat::GetMountRootDriveType(memory.u16() + u"/"), plat::DriveType::kFixed);
  ScratchAreaList list;
  ASSERT_EQ(ParseScratchAreas(&list, (memory.u16() + u"/;" + dir.u16()).c_str()), S_OK);
  EXPECT_EQ(list.Areas, (Areas{memory.u16() + u"/", dir.u16()}));
}

// Disk-backed areas are written past the system's file cache; a file system
// that refuses that (ramfs; tmpfs before Linux 6.6) is written buffered.
TEST(ScratchStorage, DirectOnDiskBufferedWhereRefused) {
  TempDir disk;
  MemoryMount memory(0);
  ScratchAreaList list;
  ASSERT_EQ(ParseScratchAreas(&list, (disk.u16() + u";" + memory.u16()).c_str()), S_OK);
  PatternRun run(20000, 150);
  ScratchReader* reader = nullptr;
  ASSERT_EQ(WriteRun(&list, run, &reader), S_OK);
  struct statfs info;
  if (statfs(disk.path().c_str(), &info) == 0 && info.f_type != 0x01021994 /* tmpfs */) {
    EXPECT_TRUE(plat::FileUsesDirectIo(reader->Private->File));
  }
  CloseScratchReader(reader);

  REQUIRE_MOUNTED(memory);
  ASSERT_EQ(WriteRun(&list, run, &reader), S_OK);
  EXPECT_FALSE(plat::FileUsesDirectIo(reader->Private->File));
  EXPECT_EQ(ReadBack(reader, run), SplitRows(run.count(), run.width));
  CloseScratchReader(reader);
  EXPECT_TRUE(memory.Empty());
}

using ScratchFailureOnPosix = ScratchFailureTest;

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
// short extent in the middle would be taken from the wrong place. In whole
// extents the second is read short, then the file goes on again; in small
// extents the file ends before the run.
TEST_P(ScratchFailureOnPosix, ShortExtentBeforeTheRunsEndFailsTheRead) {
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

TEST_P(ScratchFailureOnPosix, AreasThatCannotHoldFiles) {
  ScratchAreaList list;
  ASSERT_EQ(ParseScratchAreas(&list, (area_.u16() + u"/missing;/etc/passwd/x").c_str()), S_OK);
  EXPECT_EQ(WriteRun(&list, run_, &reader_), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  list.NextArea = 1;
  EXPECT_EQ(WriteRun(&list, run_, &reader_), HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(reader_, nullptr);
}

TEST_P(ScratchFailureOnPosix, FullDiskFailsTheRunAndLeavesNothing) {
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

INSTANTIATE_TEST_SUITE_P(Engines, ScratchFailureOnPosix, AllEngines(), EngineName);

using ScratchDescriptors = ScratchTest<Engine>;

// Every file shares the process's one ring, so a file costs one descriptor;
// two threads reading their runs at once collect each other's completions.
TEST_P(ScratchDescriptors, ManyFilesReadFromTwoThreadsWithinFewDescriptors) {
  UseEngine(GetParam());
  constexpr uint32_t kRuns = 24;
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
  rlimit low = saved;
  low.rlim_cur = std::min<rlim_t>(saved.rlim_cur, kRuns + 12);
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
  PatternRun run(30000, 100);  // Two extents, one row split.
  std::vector<ScratchReader*> readers(kRuns, nullptr);
  HRESULT written = S_OK;
  for (ScratchReader*& reader : readers) {
    if (written == S_OK) written = WriteRun(&list_, run, &reader);
  }
  // Each thread reads its half of the runs a row of each at a time.
  auto readHalf = [&](uint32_t first, int* mismatches) {
    for (uint32_t r = first; r < kRuns; r += 2) *mismatches += StartScratchRead(readers[r]) != S_OK;
    for (uint32_t i = 0; i < run.count() && *mismatches == 0; ++i) {
      for (uint32_t r = first; r < kRuns; r += 2) {
        *mismatches += NextScratchRow(readers[r]) != S_OK ||
                       std::memcmp(readers[r]->CurrentRow, run.pointers[i], run.width) != 0;
      }
    }
  };
  int mismatches[2] = {0, 0};
  if (written == S_OK) {
    std::thread other(readHalf, 1, &mismatches[1]);
    readHalf(0, &mismatches[0]);
    other.join();
  }
  for (ScratchReader* reader : readers) CloseScratchReader(reader);
  setrlimit(RLIMIT_NOFILE, &saved);
  EXPECT_EQ(written, S_OK);
  EXPECT_EQ(mismatches[0] + mismatches[1], 0);
}

INSTANTIATE_TEST_SUITE_P(Engines, ScratchDescriptors, AllEngines(), EngineName);

}  // namespace
}  // namespace scratch_test
