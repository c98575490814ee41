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

TEST(MergeGroupTest, TakesTwoToTenEqualRunsFromTheFrontWithinTheScratchSize) {
  SortEngine engine;
  engine.ScratchFileBytes = 200u << 20;
  auto pick = [&](const Counts& runs, uint32_t width = 100) {
    return SortEngineTestAccess::PickMergeGroup(&engine, runs, width);
  };
  EXPECT_EQ(Counts({10000, 10000}), pick({10000, 10000}));
  // Fewer than four restart at a run of another size; four or more end there.
  EXPECT_EQ(Counts(), pick({10000, 10000, 3000}));
  EXPECT_EQ(Counts({3000, 3000}), pick({10000, 3000, 3000}));
  EXPECT_EQ(Counts(4, 10000), pick({10000, 10000, 10000, 10000, 3000}));
  EXPECT_EQ(Counts(10, 500), pick(Counts(12, 500)));
  EXPECT_EQ(Counts(), pick({7}));
  // 60 MiB runs: the fourth would make 240 MiB; it and the third stay out.
  EXPECT_EQ(Counts(2, 61440), pick(Counts(5, 61440), 1024));
  EXPECT_EQ(Counts(), pick(Counts(3, 256000), 1024));  // 250 MiB alone.
  engine.ScratchFileBytes = 4000;
  EXPECT_EQ(Counts(4, 10), pick(Counts(4, 10)));  // Exactly the limit.
  SortEngineTestAccess::SetInputEnded(&engine, true);
  EXPECT_EQ(Counts(), pick({10, 10, 10}));
  SortEngineTestAccess::SetInputEnded(&engine, false);
}

}  // namespace
