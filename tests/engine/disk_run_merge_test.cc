// More runs on disk than the final merge may read at once are merged in
// groups: the sort stays correct, within its readers, and clean on failure.
#include <gtest/gtest.h>

#include "tests/engine/engine_test_support.h"

namespace enginetest {
namespace {

TEST_F(DiskRunMergeTest, SortsThroughGroupMergesWithinTheReaderLimit) {
  for (bool eliminate : {false, true}) {
    SortSetup setup = SmallBudget(320u << 10);
    setup.eliminateDuplicates = eliminate;
    setup.k2Position = eliminate ? 2 : 0;  // 5 x 7 groups, over every run.
    const Rows rows =
        MakeRows((4u << 20) / setup.Width(), eliminate ? Pattern::kFewDistinct : Pattern::kRandom,
                 31, kPadding, eliminate ? 0 : 40);
    uint32_t diskRuns = 0, peak = 0, limit = 0;
    const SortOutcome outcome = RunSort(&engine_, rows, setup, [&](SortEngine* e) {
      EXPECT_EQ(S_OK, Feed(e, rows, setup, false));
      diskRuns = SortEngineTestAccess::DiskRunCount(e);
      const HRESULT hr = e->AddRows(0, rows.width, nullptr, true);
      peak = SortEngineTestAccess::PeakReadersOpen(e);
      limit = SortEngineTestAccess::MaxReadersAtOnce(e);
      return hr;
    });
    ExpectSorted(rows, setup, outcome);
    EXPECT_EQ(4u, limit);
    EXPECT_GT(diskRuns, 2 * limit) << "too few runs on disk to need more than one group";
    EXPECT_EQ(limit, peak);
  }
}

// A write (the merged run's second extent) or read (the third run's) failing
// in a merge of disk runs fails the sort before any row is out, leaving no file.
TEST_F(DiskRunMergeTest, FailureInAGroupMergeFailsTheSortAndLeavesNoFile) {
  const Rows rows = MakeRows((7u << 20) / 100, Pattern::kRandom, 32, kPadding);
  for (auto [site, skip] :
       {std::pair{plat::FaultSite::kFileWrite, 1u}, {plat::FaultSite::kFileRead, 2u}}) {
    const SortSetup setup = SmallBudget(1u << 20);
    uint32_t diskRuns = 0;
    const SortOutcome outcome = RunSort(&engine_, rows, setup, [&](SortEngine* e) {
      EXPECT_EQ(S_OK, Feed(e, rows, setup, false));
      SortEngineTestAccess::StopSpilling(e);
      diskRuns = SortEngineTestAccess::DiskRunCount(e);
      plat::InjectFault(site, skip, ERROR_IO_DEVICE);
      return e->AddRows(0, rows.width, nullptr, true);
    });
    plat::ClearFaults();
    EXPECT_GT(diskRuns, 4u);
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_IO_DEVICE), outcome.result) << skip;
    EXPECT_TRUE(outcome.ids.empty());
    EXPECT_EQ(1, outcome.closes);
  }
  // A merge failing while input arrives fails the next AddRows: no row of
  // the lost group is delivered as if the sort had succeeded.
  const SortSetup setup = SmallBudget(1u << 20, true);
  plat::InjectFault(plat::FaultSite::kFileRead, 0, ERROR_IO_DEVICE);
  const SortOutcome outcome = RunSort(&engine_, rows, setup);
  plat::ClearFaults();
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_IO_DEVICE), outcome.result);
  EXPECT_LT(outcome.ids.size(), rows.Count());
}

}  // namespace
}  // namespace enginetest
