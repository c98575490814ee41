// Many more runs on disk than the final merge may read at once: they are
// merged in groups, while input arrives or before the final merge, and the
// sort stays correct, within its readers and descriptors, and clean when one
// of those merges fails.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include "platform/fault_injection.h"
#include "tests/engine/engine_test_access.h"
#include "tests/engine/engine_test_support.h"

namespace enginetest {
namespace {

constexpr uint32_t kPadding = 100 - kBaseWidth;  // 100-byte rows: some split by extents.
constexpr rlim_t kDescriptorLimit = 64;

class DiskRunMergeTest : public ::testing::Test {
 protected:
  void TearDown() override {
    plat::ClearFaults();
    EXPECT_TRUE(dir_.IsEmpty()) << "scratch files left behind";
  }
  // Runs of at most `runBytes` and a budget as small: about one disk run per
  // `runBytes` of input. Unless `mergeEarly`, all of them stay on disk until
  // the final merge.
  SortSetup SmallBudget(uint32_t runBytes, bool mergeEarly = false) {
    SortEngineTestAccess::SetSmallRunWait(&engine_, 128u << 10, 2, 5);
    SortEngineTestAccess::SetMergeDiskRunsEarly(&engine_, mergeEarly);
    // Whole 2 MiB extents: four readers in the smallest allowance.
    SortEngineTestAccess::SetMergeReadExtentBytes(&engine_, ScratchExtentSize);
    return {.ramBudget = runBytes,
            .scratchFileBytes = runBytes,
            .batchRows = (64u << 10) / 100,
            .padding = kPadding,
            .scratchArea = dir_.Area()};
  }
  // The rows in buffers of setup.batchRows, the input not ended.
  static HRESULT AddInBuffers(SortEngine* e, const Rows& rows, const SortSetup& setup) {
    HRESULT hr = S_OK;
    for (size_t at = 0; at < rows.Count() && SUCCEEDED(hr); at += setup.batchRows) {
      const size_t count = std::min(setup.batchRows, rows.Count() - at);
      hr = e->AddRows(static_cast<uint32_t>(count), rows.width, rows.Row(at), false);
    }
    return hr;
  }
  TempDir dir_;
  SortEngine engine_;
};

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
      EXPECT_EQ(S_OK, AddInBuffers(e, rows, setup));
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

// A write or read failing in a merge of disk runs fails the sort before any
// row is out (the final merge does not start); the half-written file and
// every run not drained are gone by the end. Runs on disk here are one extent
// each, and a merge issues the first read of every run of its group before
// it waits for any, so the reads fail as the group starts (the first run's
// extent, or the third's); the merged run has two extents, so its second write
// fails part way through.
TEST_F(DiskRunMergeTest, FailureInAGroupMergeFailsTheSortAndLeavesNoFile) {
  const Rows rows = MakeRows((7u << 20) / 100, Pattern::kRandom, 32, kPadding);
  for (auto [site, skip] : {std::pair{plat::FaultSite::kFileWrite, 0u},
                            {plat::FaultSite::kFileWrite, 1u},
                            {plat::FaultSite::kFileRead, 0u},
                            {plat::FaultSite::kFileRead, 2u}}) {
    const SortSetup setup = SmallBudget(1u << 20);
    uint32_t diskRuns = 0;
    const SortOutcome outcome = RunSort(&engine_, rows, setup, [&](SortEngine* e) {
      EXPECT_EQ(S_OK, AddInBuffers(e, rows, setup));
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
  // A merge while input arrives (where the first read is) that fails fails
  // the sort: the next AddRows returns the failure, so the host stops feeding
  // rows, and no row of the lost group is delivered as if the sort had
  // succeeded.
  const SortSetup setup = SmallBudget(1u << 20, true);
  plat::InjectFault(plat::FaultSite::kFileRead, 0, ERROR_IO_DEVICE);
  const SortOutcome outcome = RunSort(&engine_, rows, setup);
  plat::ClearFaults();
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_IO_DEVICE), outcome.result);
  EXPECT_LT(outcome.ids.size(), rows.Count());
}

// A hundred spills within a descriptor limit that fits fewer files: runs on
// disk are merged while input arrives, so no spill or merge runs out of
// descriptors.
TEST_F(DiskRunMergeTest, ManySpillsStayWithinFewDescriptors) {
  rlimit saved{};
  ASSERT_EQ(0, getrlimit(RLIMIT_NOFILE, &saved));
  rlimit low = saved;
  low.rlim_cur = std::min<rlim_t>(saved.rlim_cur, kDescriptorLimit);
  ASSERT_EQ(0, setrlimit(RLIMIT_NOFILE, &low));
  const SortSetup setup = SmallBudget(64u << 10, true);
  const Rows rows = MakeRows((100u << 16) / setup.Width(), Pattern::kRandom, 33, kPadding);
  uint64_t spilled = 0;
  const SortOutcome outcome = RunSort(&engine_, rows, setup, [&](SortEngine* e) {
    const HRESULT hr = AddInBuffers(e, rows, setup);
    spilled = SortEngineTestAccess::BytesSpilled(e);
    return SUCCEEDED(hr) ? e->AddRows(0, rows.width, nullptr, true) : hr;
  });
  setrlimit(RLIMIT_NOFILE, &saved);
  ExpectSorted(rows, setup, outcome);
  EXPECT_GT(spilled, kDescriptorLimit * (64u << 10)) << "too few runs on disk";
}

}  // namespace
}  // namespace enginetest
