// The memory settings and the choice of runs merged while input arrives.
#include <gtest/gtest.h>

#include "engine/memory_budget.h"
#include "tests/engine/engine_test_access.h"

namespace {

using Counts = std::vector<uint32_t>;
constexpr uint64_t kGiB = 1ull << 30;

TEST(MemorySettingsTest, BudgetAndScratchSizeFromTheProperties) {
  EXPECT_EQ(104857600u, ComputeMemorySettingsFor(100, 0, 0).RamBudget);
  // 0 is 60 percent, negative a percentage; memory counts as at most 2 GiB.
  EXPECT_EQ(600000000u, ComputeMemorySettingsFor(0, 0, 1000000000).RamBudget);
  EXPECT_EQ(536870900u, ComputeMemorySettingsFor(-25, 0, 8 * kGiB).RamBudget);
  for (int32_t mb : {0, -5, 199, INT32_MIN}) {
    EXPECT_EQ(209715200u, ComputeMemorySettingsFor(1, mb, 0).ScratchFileBytes) << mb;
  }
  EXPECT_EQ(314572800u, ComputeMemorySettingsFor(1, 300, 0).ScratchFileBytes);
  // Byte counts beyond 32 bits are clamped, never wrapped.
  EXPECT_EQ(0xFFE00000u, ComputeMemorySettingsFor(4094, 0, 0).RamBudget);
  for (int32_t mb : {4096, INT32_MAX}) {
    EXPECT_EQ(0xFFFFFFFFu, ComputeMemorySettingsFor(mb, mb, 0).RamBudget);
    EXPECT_EQ(0xFFFFFFFFu, ComputeMemorySettingsFor(mb, mb, 0).ScratchFileBytes);
  }
  EXPECT_EQ(0xFFFFFFFFu, ComputeMemorySettingsFor(-300, 0, 4 * kGiB).RamBudget);
  EXPECT_EQ(0xFFFFFFFFu, ComputeMemorySettingsFor(INT32_MIN, 0, 4 * kGiB).RamBudget);
}

TEST(MergeGroupTest, TakesSixteenRunsOfTheLowestFullLevelWithinTheScratchSize) {
  SortEngine engine;
  engine.ScratchFileBytes = 200u << 20;
  auto pick = [&](const Counts& runs, uint32_t width = 100, const Counts& levels = {}) {
    return SortEngineTestAccess::PickMergeGroup(&engine, runs, width, levels);
  };
  EXPECT_EQ(Counts(), pick(Counts(15, 10000)));
  EXPECT_EQ(Counts(16, 10000), pick(Counts(17, 10000)));
  // Runs of other levels in between are skipped; the lowest full level goes
  // first.
  Counts levels(16, 1), counts(16, 10000);
  levels.insert(levels.begin() + 3, 0), counts.insert(counts.begin() + 3, 7);
  EXPECT_EQ(Counts(16, 10000), pick(counts, 100, levels));
  levels.insert(levels.end(), 16, 0), counts.insert(counts.end(), 16, 7);
  EXPECT_EQ(Counts(16, 7), pick(counts, 100, levels));
  // 60 MiB runs: the fourth would make 240 MiB, so three are merged once it
  // is there.
  EXPECT_EQ(Counts(), pick(Counts(3, 61440), 1024));
  EXPECT_EQ(Counts(3, 61440), pick(Counts(4, 61440), 1024));
  EXPECT_EQ(Counts(), pick(Counts(3, 256000), 1024));  // 250 MiB alone.
  SortEngineTestAccess::SetInputEnded(&engine, true);
  EXPECT_EQ(Counts(), pick(Counts(20, 10)));
  SortEngineTestAccess::SetInputEnded(&engine, false);
}

}  // namespace
