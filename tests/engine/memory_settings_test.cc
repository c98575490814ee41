// The budget and scratch file size the properties give.
#include <gtest/gtest.h>

#include "engine/memory_budget.h"

namespace {

constexpr uint64_t kGiB = 1ull << 30;

// Percentages of memory and byte counts beyond 32 bits are clamped, never wrapped.
TEST(MemorySettingsTest, BudgetAndScratchSizeFromTheProperties) {
  EXPECT_EQ(600000000u, ComputeMemorySettingsFor(0, 0, 1000000000).RamBudget);  // 60 percent.
  EXPECT_EQ(536870900u, ComputeMemorySettingsFor(-25, 0, 8 * kGiB).RamBudget);  // Of 2 GiB.
  EXPECT_EQ(209715200u, ComputeMemorySettingsFor(1, INT32_MIN, 0).ScratchFileBytes);
  EXPECT_EQ(0xFFE00000u, ComputeMemorySettingsFor(4094, 0, 0).RamBudget);
  EXPECT_EQ(0xFFFFFFFFu, ComputeMemorySettingsFor(INT32_MAX, INT32_MAX, 0).RamBudget);
  EXPECT_EQ(0xFFFFFFFFu, ComputeMemorySettingsFor(4096, 4096, 0).ScratchFileBytes);
  EXPECT_EQ(0xFFFFFFFFu, ComputeMemorySettingsFor(INT32_MIN, 0, 4 * kGiB).RamBudget);
}

}  // namespace
