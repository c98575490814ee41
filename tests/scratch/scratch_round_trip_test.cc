// Runs written to scratch files and read back row by row: row order and
// content, rows split between extents, the end of the run, and the transfers
// underneath.
#include <sys/resource.h>
#include <sys/statfs.h>

#include <cstring>
#include <set>
#include <thread>
#include <tuple>

#include "platform/async_file.h"
#include "platform/heap.h"
#include "scratch/scratch_reader_state.h"
#include "scratch/scratch_run_writer.h"
#include "scratch_test_support.h"

namespace scratch_test {
namespace {

struct Shape {
  const char* name;
  uint32_t width;
  uint32_t rows;
};

constexpr Shape kShapes[] = {
    {"Width100", 100, 50000},          // Three extents, two rows split.
    {"DividesExtent", 512, 3 * 4096},  // Nothing split.
    {"Width1", 1, ScratchExtentSize + 5000},
    {"ExactlyOneExtent", 64, ScratchExtentSize / 64},
    {"ManyExtents", 1000, 7000},
    {"HalfExtentRows", ScratchExtentSize / 2, 5},
    {"WideSplitRows", 700001, 7},
};

// The rows whose bytes lie in two extents of `extent` bytes.
std::set<uint32_t> SplitRows(uint32_t rows, uint32_t width, uint32_t extent = ScratchExtentSize) {
  std::set<uint32_t> split;
  for (uint64_t i = 0; i < rows; ++i) {
    if (i * width / extent != ((i + 1) * width - 1) / extent) split.insert(i);
  }
  return split;
}

// Reads every row in extents of `extent` bytes, checking it against `run`;
// returns the rows handed out from the reader's row buffer.
std::set<uint32_t> ReadBack(ScratchReader* reader, const PatternRun& run,
                            uint32_t extent = ScratchExtentSize) {
  std::set<uint32_t> fromBuffer;
  EXPECT_EQ(StartScratchRead(reader, extent), S_OK);
  for (uint32_t i = 0; i < run.count(); ++i) {
    const HRESULT hr = NextScratchRow(reader);
    if (hr != S_OK || std::memcmp(reader->CurrentRow, run.pointers[i], run.width) != 0) {
      ADD_FAILURE() << "row " << i << ", result " << std::hex << hr;
      break;
    }
    if (reader->RowInBuffer) fromBuffer.insert(i);
  }
  // The merge steps a run past its last row before it counts the row off.
  EXPECT_EQ(NextScratchRow(reader), S_OK);
  EXPECT_EQ(NextScratchRow(reader), S_OK);
  return fromBuffer;
}

using ScratchRoundTrip = ScratchTest<std::tuple<Engine, Shape>>;

TEST_P(ScratchRoundTrip, RowsComeBackInOrderAndWhole) {
  const auto [engine, shape] = GetParam();
  UseEngine(engine);
  PatternRun run(shape.rows, shape.width);
  ScratchReader* reader = nullptr;
  ASSERT_EQ(WriteRun(&list_, run, &reader), S_OK);
  EXPECT_EQ(area_.Count(), 0u) << "an open scratch file must have no name";
  EXPECT_EQ(plat::FileUsesUring(reader->Private->File), engine == Engine::kUring);

  const std::set<uint32_t> fromBuffer = ReadBack(reader, run);
  EXPECT_EQ(fromBuffer, SplitRows(shape.rows, shape.width));
  if (shape.width == 100) {
    EXPECT_EQ(fromBuffer, (std::set<uint32_t>{20971, 41943}));
  }
  CloseScratchReader(reader);
}

std::string ShapeName(const testing::TestParamInfo<ScratchRoundTrip::ParamType>& info) {
  return std::string(std::get<0>(info.param) == Engine::kUring ? "Uring" : "Thread") +
         std::get<1>(info.param).name;
}

// Every shape on io_uring; the helper thread moves the same extents, so a few
// shapes suffice there.
INSTANTIATE_TEST_SUITE_P(Uring, ScratchRoundTrip,
                         testing::Combine(testing::Values(Engine::kUring),
                                          testing::ValuesIn(kShapes)),
                         ShapeName);
INSTANTIATE_TEST_SUITE_P(Thread, ScratchRoundTrip,
                         testing::Combine(testing::Values(Engine::kThread),
                                          testing::Values(kShapes[0], kShapes[4], kShapes[6])),
                         ShapeName);

struct SmallExtentShape {
  const char* name;
  uint32_t extent;
  uint32_t width;
  uint32_t rows;
};

// Read extents smaller than the written ones, some not dividing them: runs
// ending on a read extent's end and just after, on a written extent's end, and
// rows as wide as the read extent allows.
constexpr SmallExtentShape kSmallExtentShapes[] = {
    {"PageEndsOnReadExtent", 4096, 64, 5 * 4096 / 64},
    {"PageEndsOnWrittenExtent", 4096, 64, ScratchExtentSize / 64},
    {"PagePastWrittenExtent", 4096, 64, ScratchExtentSize / 64 + 1},
    {"PageSplitEndsOnReadExtent", 4096, 100, 1024},  // 25 extents, 24 rows split.
    {"PageSplitPastReadExtent", 4096, 100, 1025},
    {"PageSplitAcrossWrittenExtents", 4096, 100, 25000},
    {"PageWidest", 4096, 2048, 1100},
    {"ThreePagesWidest", 3 * 4096, 6144, 700},          // Read extents straddle written ones.
    {"ThreePagesEndInShortRead", 3 * 4096, 6000, 699},  // The file's last read is 4096 bytes.
    {"MergeSplit", kMergeReadExtentBytes, 1000, 7000},
    {"MergeEndsOnReadExtent", kMergeReadExtentBytes, 512, 1024},
    {"MergePastReadExtent", kMergeReadExtentBytes, 512, 1025},
    {"MergeWidest", kMergeReadExtentBytes, kMergeReadExtentBytes / 2, 9},
    {"MergeWidestSplit", kMergeReadExtentBytes, kMergeReadExtentBytes / 2 - 1, 9},
};

using ScratchSmallExtents = ScratchTest<SmallExtentShape>;

TEST_P(ScratchSmallExtents, RowsComeBackInOrderAndWhole) {
  const SmallExtentShape& shape = GetParam();
  UseEngine(Engine::kUring);
  PatternRun run(shape.rows, shape.width);
  ScratchReader* reader = nullptr;
  ASSERT_EQ(WriteRun(&list_, run, &reader), S_OK);
  EXPECT_EQ(ReadBack(reader, run, shape.extent), SplitRows(run.count(), run.width, shape.extent));
  CloseScratchReader(reader);
}

INSTANTIATE_TEST_SUITE_P(Shapes, ScratchSmallExtents, testing::ValuesIn(kSmallExtentShapes),
                         [](const testing::TestParamInfo<SmallExtentShape>& info) {
                           return std::string(info.param.name);
                         });

TEST(ScratchReadExtents, SizeFitsTwoRowsAndDirectIo) {
  EXPECT_EQ(ScratchReadExtentBytes(100, kMergeReadExtentBytes), kMergeReadExtentBytes);
  EXPECT_EQ(ScratchReadExtentBytes(1, 0), 4096u);
  EXPECT_EQ(ScratchReadExtentBytes(1, 5000), 8192u);
  EXPECT_EQ(ScratchReadExtentBytes(2049, 4096), 8192u);
  EXPECT_EQ(ScratchReadExtentBytes(300000, kMergeReadExtentBytes), 147u * 4096);
  EXPECT_EQ(ScratchReadExtentBytes(ScratchExtentSize / 2, 0), ScratchExtentSize);
  EXPECT_EQ(ScratchReadExtentBytes(ScratchExtentSize / 2 - 1, 4096), ScratchExtentSize);
  EXPECT_EQ(ScratchReadExtentBytes(64, 4 * ScratchExtentSize), ScratchExtentSize);
}

using ScratchEngines = ScratchTest<Engine>;

// A refused extent size leaves the reader as it was, ready to start.
TEST_P(ScratchEngines, ReadExtentsTooSmallForTwoRowsOrUnalignedAreRefused) {
  UseEngine(GetParam());
  PatternRun run(100, 2049);
  ScratchReader* reader = nullptr;
  ASSERT_EQ(WriteRun(&list_, run, &reader), S_OK);
  EXPECT_EQ(StartScratchRead(reader, 0), E_INVALIDARG);
  EXPECT_EQ(StartScratchRead(reader, 4096), E_INVALIDARG);
  EXPECT_EQ(StartScratchRead(reader, 8192 + 512), E_INVALIDARG);
  EXPECT_EQ(ReadBack(reader, run, 8192), SplitRows(run.count(), run.width, 8192));
  CloseScratchReader(reader);
}

// A run may be released unread (the engine is destroyed after a spill), or
// half-way through with a read-ahead in flight.
TEST_P(ScratchEngines, ReadersCloseInAnyState) {
  UseEngine(GetParam());
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

// What the reader relies on below it: a read at the end of the file completes
// with no data and says so.
TEST_P(ScratchEngines, ReadAtTheEndOfTheFileReportsNoData) {
  UseEngine(GetParam());
  constexpr uint32_t kExtent = 64 * 1024;
  auto* buffer = static_cast<uint8_t*>(plat::PageAlloc(kExtent));
  plat::FileHandle file = plat::OpenTransientFile(area_.u16() + u"/data");
  ASSERT_TRUE(buffer && file);
  plat::AsyncIo io;
  uint32_t bytes = 0;
  ASSERT_TRUE(plat::StartFileWrite(file, buffer, kExtent, &io));
  ASSERT_TRUE(plat::WaitForIo(file, &io, &bytes));
  io.Offset = kExtent;
  ASSERT_TRUE(plat::StartFileRead(file, buffer, kExtent, &io));
  EXPECT_FALSE(plat::WaitForIo(file, &io, &bytes));
  EXPECT_EQ(plat::GetLastError(), ERROR_HANDLE_EOF);
  EXPECT_EQ(bytes, 0u);
  plat::CloseFile(file);
  plat::PageFree(buffer, kExtent);
}

// Every file shares the process's one ring, so a file costs one descriptor;
// two threads reading their runs at once collect each other's completions.
TEST_P(ScratchEngines, ManyFilesReadFromTwoThreadsWithinFewDescriptors) {
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
    for (uint32_t r = first; r < kRuns; r += 2) {
      if (StartScratchRead(readers[r]) != S_OK) ++*mismatches;
    }
    for (uint32_t i = 0; i < run.count() && *mismatches == 0; ++i) {
      for (uint32_t r = first; r < kRuns; r += 2) {
        if (NextScratchRow(readers[r]) != S_OK ||
            std::memcmp(readers[r]->CurrentRow, run.pointers[i], run.width) != 0) {
          ++*mismatches;
        }
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

INSTANTIATE_TEST_SUITE_P(Engines, ScratchEngines, testing::Values(Engine::kUring, Engine::kThread),
                         EngineName);

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

}  // namespace
}  // namespace scratch_test
