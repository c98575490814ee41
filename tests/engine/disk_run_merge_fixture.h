// The fixture of the tests of many runs on disk: a small budget, early or
// late group merges, and a scratch area that must be empty at the end.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/fault_injection.h"
#include "tests/engine/engine_test_access.h"
#include "tests/engine/engine_test_support.h"

namespace enginetest {

inline constexpr uint32_t kPadding = 100 - kBaseWidth;  // 100-byte rows: some split by extents.

class DiskRunMergeTest : public ::testing::Test {
 protected:
  void TearDown() override {
    plat::ClearFaults();
    EXPECT_EQ(0u, dir_.Count()) << "scratch files left behind";
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
            .scratchArea = dir_.u16()};
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

}  // namespace enginetest
