// Runs written to scratch files and read back row by row: row order and
// content, rows split between extents, the end of the run; and writing and
// reading when something goes wrong (refused arguments, injected system
// failures), after which no file may be left in the area.
#include <cstring>
#include <set>
#include <tuple>

#include "scratch/scratch_reader_state.h"
#include "scratch/scratch_run_writer.h"
#include "scratch_test_support.h"

namespace scratch_test {
namespace {

struct Shape {
  const char* name;
  uint32_t width, rows, extent = ScratchExtentSize;  // Extent: of the reads.
};

constexpr Shape kShapes[] = {
    {"Width100", 100, 50000},          // Three extents, two rows split.
    {"DividesExtent", 512, 3 * 4096},  // Nothing split.
    {"Width1", 1, ScratchExtentSize + 5000},
    {"ExactlyOneExtent", 64, ScratchExtentSize / 64},
    {"ManyExtents", 1000, 7000},
    {"HalfExtentRows", ScratchExtentSize / 2, 5},
    {"WideSplitRows", 700001, 7},
    // Read extents smaller than the written ones, some not dividing them: runs
    // ending on a read extent's end and just after, on a written extent's end,
    // and rows as wide as the read extent allows.
    {"PageEndsOnReadExtent", 64, 5 * 4096 / 64, 4096},
    {"PageEndsOnWrittenExtent", 64, ScratchExtentSize / 64, 4096},
    {"PagePastWrittenExtent", 64, ScratchExtentSize / 64 + 1, 4096},
    {"PageSplitEndsOnReadExtent", 100, 1024, 4096},  // 25 extents, 24 rows split.
    {"PageSplitPastReadExtent", 100, 1025, 4096},
    {"PageSplitAcrossWrittenExtents", 100, 25000, 4096},
    {"PageWidest", 2048, 1100, 4096},
    {"ThreePagesWidest", 6144, 700, 3 * 4096},          // Read extents straddle written ones.
    {"ThreePagesEndInShortRead", 6000, 699, 3 * 4096},  // The file's last read is 4096 bytes.
    {"MergeSplit", 1000, 7000, kMergeReadExtentBytes},
    {"MergeEndsOnReadExtent", 512, 1024, kMergeReadExtentBytes},
    {"MergePastReadExtent", 512, 1025, kMergeReadExtentBytes},
    {"MergeWidest", kMergeReadExtentBytes / 2, 9, kMergeReadExtentBytes},
    {"MergeWidestSplit", kMergeReadExtentBytes / 2 - 1, 9, kMergeReadExtentBytes},
};

using ScratchRoundTrip = ScratchTest<std::tuple<Engine, Shape>>;

TEST_P(ScratchRoundTrip, RowsComeBackInOrderAndWhole) {
  const auto [engine, shape] = GetParam();
  UseEngine(engine);
  PatternRun run(shape.rows, shape.width);
  ScratchReader* reader = nullptr;
  ASSERT_EQ(WriteRun(&list_, run, &reader), S_OK);
#ifdef _WIN32
  // A delete-on-close file keeps its name until it closes; TearDown checks
  // that it is gone.
  EXPECT_EQ(area_.Count(), 1u);
#else
  EXPECT_EQ(area_.Count(), 0u) << "an open scratch file must have no name";
#endif
  EXPECT_EQ(plat::FileUsesUring(reader->Private->File), engine == Engine::kUring);
  const std::set<uint32_t> fromBuffer = ReadBack(reader, run, shape.extent);
  EXPECT_EQ(fromBuffer, SplitRows(shape.rows, shape.width, shape.extent));
  if (shape.width == 100 && shape.extent == ScratchExtentSize) {
    EXPECT_EQ(fromBuffer, (std::set<uint32_t>{20971, 41943}));
  }
  CloseScratchReader(reader);
}

std::string ShapeName(const testing::TestParamInfo<ScratchRoundTrip::ParamType>& info) {
  return EngineName({std::get<0>(info.param), info.index}) + std::get<1>(info.param).name;
}

#ifdef _WIN32
INSTANTIATE_TEST_SUITE_P(Overlapped, ScratchRoundTrip,
                         testing::Combine(testing::Values(Engine::kOverlapped),
                                          testing::ValuesIn(kShapes)),
                         ShapeName);
#else
// Every shape on io_uring; the helper thread moves the same extents, so a few
// shapes suffice there.
INSTANTIATE_TEST_SUITE_P(Uring, ScratchRoundTrip,
                         testing::Combine(testing::Values(Engine::kUring),
                                          testing::ValuesIn(kShapes)),
                         ShapeName);
INSTANTIATE_TEST_SUITE_P(Thread, ScratchRoundTrip,
                         testing::Combine(testing::Values(Engine::kThread),
                                          testing::Values(kShapes[0], kShapes[4], kShapes[6],
                                                          kShapes[15], kShapes[20])),
                         ShapeName);
#endif

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

INSTANTIATE_TEST_SUITE_P(Engines, ScratchEngines, AllEngines(), EngineName);

using ScratchFailure = ScratchFailureTest;

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

INSTANTIATE_TEST_SUITE_P(Engines, ScratchFailure, AllEngines(), EngineName);

}  // namespace
}  // namespace scratch_test
