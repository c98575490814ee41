// Data larger than the budget: spilled runs, merged back, and spill failures.
#include <gtest/gtest.h>

#include "tests/engine/engine_test_support.h"

namespace enginetest {
namespace {

constexpr uint32_t kSplitRows = 1000 - kBaseWidth;  // Rows split by 2 MiB extents.

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
  // Buffers of distinct sizes never form a merge group.
  static HRESULT AddDistinct(SortEngine* e, const Rows& rows, size_t begin, size_t end) {
    HRESULT hr = S_OK;
    for (size_t size = 101; begin < end && SUCCEEDED(hr); begin += size++) {
      hr = AddAll(e, Slice(rows, begin, std::min(end, begin + size)));
    }
    return hr;
  }
};

// Every Create takes the budget afresh; a zero budget spills all but the
// last buffer and never stops the input.
TEST_F(SpillTest, EachExecutionKeepsToItsOwnBudget) {
  const Rows rows = MakeRows(20000, Pattern::kRandom, 31);
  for (uint32_t budget : {64u << 20, 1u << 20, 0u, 64u << 20}) {
    SortSetup setup = Setup(0, budget);
    setup.threads = 3;
    uint64_t spilled = 0;
    ExpectSorted(rows, setup, RunSort(&engine_, rows, setup, [&](SortEngine* e) {
                   const HRESULT hr = Feed(e, rows, setup);
                   spilled = SortEngineTestAccess::BytesSpilled(e);
                   return hr;
                 }));
    EXPECT_EQ(budget<rows.data.size(), spilled> 0) << budget;
    EXPECT_TRUE(budget > 0 || spilled >= rows.data.size() - setup.batchRows * rows.width);
  }
}

// One disk run of two extents, a row split between them; each of five keys
// spans both and goes on into the runs in memory, whose rows come first.
TEST_F(SpillTest, DiskRunRowsComeBeforeMemoryRunRowsOnEqualKeys) {
  const Rows rows = MakeRows(3500, Pattern::kFewDistinct, 22, kSplitRows);
  for (bool eliminate : {false, true}) {
    SortSetup setup = Setup(kSplitRows, 16u << 20);
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

TEST_F(SpillTest, ReadFailureInTheFinalMergeFailsTheSort) {
  // Disk runs of three extents and one: the first read fails before any row is
  // out, the fifth (run 1's third extent) after two extents of run 1.
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

// Every area refusing a run fails the next AddRows on with its code, in budget.
TEST_F(SpillTest, EveryAreaRefusingFailsTheNextAddRowsWithinTheBudget) {
  const Rows rows = MakeRows(8000, Pattern::kRandom, 25);
  constexpr auto kNoArea = plat::FaultSite::kCount;  // No fault: no scratch area.
  for (auto [site, error] : {std::pair{plat::FaultSite::kFileWrite, ERROR_DISK_FULL},
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

// An area that refuses a run is set aside for the execution; the next
// execution tries every area again (a missing and a full one cost a try each).
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

}  // namespace
}  // namespace enginetest
