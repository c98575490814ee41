// The fixtures of the tests that spill: a scratch area that must be empty at
// the end, and for many runs on disk a small budget and early or late merges.
#pragma once

#include <gtest/gtest.h>

#include "platform/fault_injection.h"
#include "tests/engine/engine_test_access.h"
#include "tests/engine/engine_test_support.h"

namespace enginetest {

inline constexpr uint32_t kPadding = 100 - kBaseWidth;  // 100-byte rows: some split by extents.

// An engine with a scratch area that must be empty at the end.
class ScratchEngineTest : public ::testing::Test {
 protected:
  void TearDown() override {
    plat::ClearFaults();
    EXPECT_EQ(0u, dir_.Count()) << "scratch files left behind";
  }
  TempDir dir_;
  SortEngine engine_;
};

class DiskRunMergeTest : public ScratchEngineTest {
 protected:
  // About one disk run per `runBytes` of input; unless `mergeEarly`, all stay
  // on disk until the final merge.
  SortSetup SmallBudget(uint32_t runBytes, bool mergeEarly = false) {
    SortEngineTestAccess::SetSmallRunWait(&engine_, 128u << 10, 2, 5);
    SortEngineTestAccess::SetMergeDiskRunsEarly(&engine_, mergeEarly);
    // Whole 2 MiB extents: four readers in the smallest allowance.
    SortEngineTestAccess::SetMergeReadExtentBytes(&engine_, ScratchExtentSize);
    return {.ramBudget = runBytes,
            .scratchFileBytes = runBytes,
            .batchRows = (64u << 10) / 100,
            .padding = kPadding,
            .scratchArea = dir_.u16()};
  }
};

}  // namespace enginetest
