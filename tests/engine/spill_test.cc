// Data larger than the budget: runs spilled to scratch files and merged back
// with the runs still in memory, and every way a spill can go wrong.
#include <gtest/gtest.h>

#include "tests/engine/disk_run_merge_fixture.h"

namespace enginetest {
namespace {

// 1000-byte rows are split by 2 MiB extents; 256-byte rows divide them.
constexpr uint32_t kSplitRows = 1000 - kBaseWidth, kWholeRows = 256 - kBaseWidth;

class SpillTest : public ScratchEngineTest {
 protected:
  // A small budget; runs under 256 KiB are written after two 5 ms waits.
  SortSetup Setup(uint32_t padding = 0, uint32_t budget = 1u << 20) {
    SortEngineTestAccess::SetSmallRunWait(&engine_, 256u << 10, 2, 5);
    return {.ramBudget = budget,
            .scratchFileBytes = 1u << 20,
            .padding = padding,
            .scratchArea = dir_.u16()};
  }
  // Buffers of distinct sizes never form a merge group: the test alone
  // decides which runs are on disk.
  static HRESULT AddDistinct(SortEngine* e, const Rows& rows, size_t begin, size_t end) {
    HRESULT hr = S_OK;
    for (size_t size = 101; begin < end && SUCCEEDED(hr); begin += size++) {
      hr = AddAll(e, Slice(rows, begin, std::min(end, begin + size)));
    }
    return hr;
  }
  // Sorts the rows as Feed gives them; *spilled: the bytes spilled by then.
  SortOutcome SortCounting(const Rows& rows, const SortSetup& setup, uint64_t* spilled) {
    return RunSort(&engine_, rows, setup, [&](SortEngine* e) {
      const HRESULT hr = Feed(e, rows, setup);
      *spilled = SortEngineTestAccess::BytesSpilled(e);
      return hr;
    });
  }
};

TEST_F(SpillTest, SortsFourTimesTheBudgetWithRowsSplitOrNotByExtents) {
  for (auto [threads, padding, eliminate] :
       {std::tuple{1u, kSplitRows, false}, {2u, kWholeRows, false}, {4u, 141u, true}}) {
    SortSetup setup = Setup(padding);
    setup.threads = threads;
    setup.batchRows = (48u << 10) / setup.Width();
    setup.eliminateDuplicates = eliminate;
    setup.k2Position = eliminate ? 2 : 0;  // 5 x 7 groups, over every run.
    const Rows rows =
        MakeRows((4u << 20) / setup.Width(), eliminate ? Pattern::kFewDistinct : Pattern::kRandom,
                 threads, padding, 50);
    uint64_t spilled = 0;
    ExpectSorted(rows, setup, SortCounting(rows, setup, &spilled));
    EXPECT_GE(spilled, 2u << 20);
  }
}

// The budget is taken afresh by every Create: one engine spills under a
// small budget and not under a large one, in either order. A zero budget
// spills every run but the last buffer's and never stops the input.
TEST_F(SpillTest, EachExecutionKeepsToItsOwnBudget) {
  const Rows rows = MakeRows(20000, Pattern::kRandom, 31);
  for (uint32_t budget : {64u << 20, 1u << 20, 0u, 64u << 20}) {
    SortSetup setup = Setup(0, budget);
    setup.threads = 3;
    uint64_t spilled = 0;
    ExpectSorted(rows, setup, SortCounting(rows, setup, &spilled));
    EXPECT_EQ(budget<rows.data.size(), spilled> 0) << budget;
    EXPECT_TRUE(budget > 0 || spilled >= rows.data.size() - setup.batchRows * rows.width);
  }
}

TEST_F(SpillTest, MergesDiskRunsAloneOrAfterMemoryRunsOnEqualKeys) {
  // Everything on disk, one run a spill.
  const Rows many = MakeRows(4000, Pattern::kRandom, 21, 0, 13);
  SortSetup setup = Setup();
  setup.scratchFileBytes = 1;
  ExpectSorted(many, setup, RunSort(&engine_, many, setup, [&](SortEngine* e) {
                 EXPECT_EQ(S_OK, AddDistinct(e, many, 0, 4000));
                 EXPECT_EQ(S_OK, SortEngineTestAccess::SpillEverything(e));
                 EXPECT_GT(SortEngineTestAccess::DiskRunCount(e), 15u);
                 return e->AddRows(0, many.width, nullptr, true);
               }));
  // One disk run of two extents, a row split between them; each of five keys
  // spans both and goes on into the runs in memory, whose rows come first.
  const Rows rows = MakeRows(3500, Pattern::kFewDistinct, 22, kSplitRows);
  for (bool eliminate : {false, true}) {
    setup = Setup(kSplitRows, 16u << 20);
    setup.eliminateDuplicates = eliminate;
    const SortOutcome outcome = RunSort(&engine_, rows, setup, [&](SortEngine* e) {
      EXPECT_EQ(S_OK, AddAll(e, Slice(rows, 0, 3000)));
      EXPECT_EQ(S_OK, SortEngineTestAccess::SpillEverything(e));
      EXPECT_EQ(1u, SortEngineTestAccess::DiskRunCount(e));
      EXPECT_EQ(S_OK, AddDistinct(e, rows, 3000, 3500));
      return e->AddRows(0, rows.width, nullptr, true);
    });
    ExpectSorted(rows, setup, outcome);
    for (size_t i = 1; i < outcome.ids.size(); ++i) {
      const int32_t a = outcome.ids[i - 1], b = outcome.ids[i];
      if (rows.K1(a) == rows.K1(b)) {
        EXPECT_FALSE(a < 3000 && b >= 3000) << i;
      }
    }
    for (int32_t id : outcome.ids) EXPECT_TRUE(!eliminate || id >= 3000);
  }
}

TEST_F(SpillTest, SpillStartingAfterTheEndOfInputKeepsTheRunInMemory) {
  const Rows rows = MakeRows(2000, Pattern::kRandom, 23);
  const SortSetup setup = Setup();
  ExpectSorted(rows, setup, RunSort(&engine_, rows, setup, [&](SortEngine* e) {
                 EXPECT_EQ(S_OK, AddDistinct(e, rows, 0, 2000));
                 EXPECT_EQ(S_OK, SortEngineTestAccess::SpillEverything(e, true));
                 EXPECT_EQ(0u, SortEngineTestAccess::DiskRunCount(e));
                 EXPECT_EQ(0u, dir_.Count());
                 return e->AddRows(0, rows.width, nullptr, true);
               }));
}

TEST_F(SpillTest, ReadFailureInTheFinalMergeFailsTheSort) {
  // Disk runs of three extents and one, read in whole extents: the first
  // read fails before any row is out, the fifth (run 1's third extent) after
  // two extents of run 1.
  const Rows rows = MakeRows(5000, Pattern::kRandom, 24, kSplitRows);
  SortSetup setup = Setup(kSplitRows, 16u << 20);
  setup.scratchFileBytes = 1;  // One run a spill.
  SortEngineTestAccess::SetMergeReadExtentBytes(&engine_, ScratchExtentSize);
  for (uint32_t skip : {0u, 4u}) {
    const SortOutcome outcome = RunSort(&engine_, rows, setup, [&](auto* e) {
      EXPECT_EQ(S_OK, AddAll(e, Slice(rows, 0, 4300)));
      EXPECT_EQ(S_OK, AddAll(e, Slice(rows, 4300, 5000)));
      EXPECT_EQ(S_OK, SortEngineTestAccess::SpillEverything(e));
      plat::InjectFault(plat::FaultSite::kFileRead, skip, ERROR_IO_DEVICE);
      return e->AddRows(0, rows.width, nullptr, true);
    });
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_IO_DEVICE), outcome.result);
    EXPECT_EQ(skip == 0, outcome.ids.empty());
    EXPECT_TRUE(skip == 0 || outcome.ids.size() > 4194) << outcome.ids.size();
    EXPECT_LT(outcome.ids.size(), 5000u);
    EXPECT_EQ(1, outcome.closes);
  }
}

// Every area refusing a run (full, unwritable, failing, none) fails the next
// AddRows and every later one with the refusal's code, within the budget.
TEST_F(SpillTest, EveryAreaRefusingFailsTheNextAddRowsWithinTheBudget) {
  const Rows rows = MakeRows(8000, Pattern::kRandom, 25);
  constexpr auto kNoArea = plat::FaultSite::kCount;  // No fault: no scratch area.
  for (auto [site, error] : {std::pair{plat::FaultSite::kFileCreate, ERROR_ACCESS_DENIED},
                             {plat::FaultSite::kFileWrite, ERROR_DISK_FULL},
                             {plat::FaultSite::kFileWrite, 0u},
                             {kNoArea, ERROR_PATH_NOT_FOUND}}) {
    SortSetup setup = Setup(0, 128u << 10);
    setup.scratchArea = site == kNoArea ? u"" : dir_.u16() + u";" + dir_.u16();
    plat::InjectFault(site, 0, error, 1000);
    size_t fed = 0;
    uint64_t held = 0;
    const SortOutcome outcome = RunSort(&engine_, rows, setup, [&](SortEngine* e) {
      HRESULT hr = S_OK;
      for (; fed < rows.Count() && SUCCEEDED(hr); fed += 500) {
        hr = AddAll(e, Slice(rows, fed, fed + 500));
      }
      held = SortEngineTestAccess::BytesInMemory(e);
      EXPECT_EQ(hr, e->AddRows(0, rows.width, nullptr, true));
      return hr;
    });
    plat::ClearFaults();
    EXPECT_EQ(error ? HRESULT_FROM_WIN32(error) : E_FAIL, outcome.result);
    EXPECT_LT(fed, rows.Count());
    EXPECT_LE(held, setup.ramBudget);
    EXPECT_TRUE(outcome.ids.empty());
  }
}

// An area that refuses a run is set aside for the execution and the next
// takes the run; the next execution tries every area again: a missing and a
// full one cost a try each, and the third takes every run.
TEST_F(SpillTest, AreaThatRefusesIsSetAsideAndTheNextTakesTheRun) {
  const Rows rows = MakeRows(2000, Pattern::kRandom, 26);
  SortSetup setup = Setup(0, 32u << 10);
  setup.batchRows = 100;
  setup.scratchArea = dir_.u16() + u"/missing;" + dir_.u16() + u";" + dir_.u16();
  plat::InjectFault(plat::FaultSite::kFileWrite, 0, ERROR_DISK_FULL, 1000);
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_DISK_FULL), RunSort(&engine_, rows, setup).result);
  plat::ClearFaults();

  setup.ramBudget = 16u << 20;
  setup.scratchFileBytes = 1;  // One run a spill.
  uint32_t numbersUsed = 0, diskRuns = 0;
  ExpectSorted(rows, setup, RunSort(&engine_, rows, setup, [&](SortEngine* e) {
                 EXPECT_EQ(S_OK, AddDistinct(e, rows, 0, 2000));
                 const uint32_t before = e->ScratchAreaList.NextFileNumber;
                 plat::InjectFault(plat::FaultSite::kFileWrite, 0, ERROR_DISK_FULL);
                 EXPECT_EQ(S_OK, SortEngineTestAccess::SpillEverything(e));
                 numbersUsed = e->ScratchAreaList.NextFileNumber - before;
                 diskRuns = SortEngineTestAccess::DiskRunCount(e);
                 return e->AddRows(0, rows.width, nullptr, true);
               }));
  EXPECT_EQ(19u, diskRuns);
  EXPECT_EQ(diskRuns + 2, numbersUsed);
}

// A spill merges the runs in memory that fit ScratchFileBytes into one disk
// run (with one byte, only the largest).
TEST_F(SpillTest, SpillMergesTheRunsInMemoryIntoOneRunOnDisk) {
  const Rows rows = MakeRows(600, Pattern::kRandom, 28);
  for (auto [scratchBytes, expected] : {std::pair{16u << 20, 600u}, {1u, 300u}}) {
    SortSetup setup = Setup(0, 16u << 20);
    setup.scratchFileBytes = scratchBytes;
    setup.threads = 1;  // Runs reach the list in the order of their buffers.
    uint64_t spilled = 0;
    uint32_t diskRuns = 0;
    ExpectSorted(rows, setup, RunSort(&engine_, rows, setup, [&](SortEngine* e) {
                   for (auto [begin, end] : {std::pair{0, 300}, {300, 500}, {500, 600}}) {
                     EXPECT_EQ(S_OK, AddAll(e, Slice(rows, begin, end)));
                   }
                   EXPECT_EQ(S_OK, SortEngineTestAccess::SpillOneRun(e));
                   spilled = SortEngineTestAccess::BytesSpilled(e);
                   diskRuns = SortEngineTestAccess::DiskRunCount(e);
                   return e->AddRows(0, rows.width, nullptr, true);
                 }));
    EXPECT_EQ(expected * rows.width, spilled);
    EXPECT_EQ(1u, diskRuns);
  }
}

}  // namespace
}  // namespace enginetest
