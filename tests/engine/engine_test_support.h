// Test rows, a sink keeping the sorted rows, and the check of a sort's output.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/sort_engine.h"
#include "platform/fault_injection.h"
#include "tests/engine/engine_test_access.h"
#include "tests/support/test_files.h"

namespace enginetest {

// Rows: k1 (I4), k2 (I8), up to 16 DT_BYTES, the id (I4, no key), padding.
constexpr uint32_t kBaseWidth = 56;

struct SortSetup {
  uint32_t threads = 2;
  bool eliminateDuplicates = false;
  uint32_t ramBudget = 64u << 20;
  uint32_t scratchFileBytes = 200u << 20;
  size_t batchRows = 1000;
  uint32_t padding = 0;
  bool endWithRows = true;  // The last buffer carries rows and the end together.
  int32_t k1Position = 1, k2Position = 0, bytesPosition = 0;  // Host key positions.
  std::u16string scratchArea;  // The ScratchAreas text; empty: no area.
  uint32_t Width() const { return kBaseWidth + padding; }
};

struct Rows {
  uint32_t width;
  std::vector<uint8_t> data;
  size_t Count() const { return data.size() / width; }
  const uint8_t* Row(size_t i) const { return data.data() + i * width; }
  int32_t K1(size_t i) const;
};

enum class Pattern { kRandom, kSorted, kReverse, kAllEqual, kOrganPipe, kFewDistinct };
// k1 by `pattern`, k2 and the bytes random; every nullEvery-th row NULL k1 and
// bytes, every other one of those NULL k2.
Rows MakeRows(size_t count, Pattern pattern, uint32_t seed, uint32_t padding = 0,
              uint32_t nullEvery = 0);
Rows Slice(const Rows& rows, size_t begin, size_t end);

// Keeps the rows; the row numbered failAtRow fails with failResult.
class CollectingSink final : public SortedRowSink {
 public:
  explicit CollectingSink(uint32_t width) : width_(width) {}
  HRESULT BeginRows() override { return ++opens, S_OK; }
  HRESULT PutRow(const uint8_t* row) override;
  void EndRows() override { ++closes; }

  std::vector<uint8_t> data;
  uint64_t failAtRow = UINT64_MAX;
  HRESULT failResult = E_FAIL;
  int opens = 0, closes = 0;

 private:
  uint32_t width_;
};

struct SortOutcome {
  HRESULT result = E_FAIL;
  std::vector<int32_t> ids;  // Of the output rows, in order.
  std::vector<uint8_t> output;
  int opens = 0, closes = 0;
};

// A key (or, with position 0, a column) of this type at these offsets.
SortColumn KeyColumn(int32_t type, uint32_t flags, uint32_t data, uint32_t length, uint32_t status,
                     uint32_t size, int32_t position = 0);
void Configure(SortEngine* engine, const SortSetup& setup);
// Create (which must succeed), `feed` (default: Feed), Destroy.
SortOutcome RunSort(SortEngine* engine, const Rows& rows, const SortSetup& setup,
                    const std::function<HRESULT(SortEngine*)>& feed = nullptr,
                    uint64_t failAtRow = UINT64_MAX, HRESULT failResult = E_FAIL);
// The rows in buffers of setup.batchRows, ending the input if `end`.
HRESULT Feed(SortEngine* engine, const Rows& rows, const SortSetup& setup, bool end = true);
HRESULT AddAll(SortEngine* engine, const Rows& rows, bool end = false);

// Every output row (its I4 id at idOffset) an input row, byte for byte, once,
// in `order`; every input row out, or if `strict` one of each group of equals.
using RowOrderFn = std::function<int(const uint8_t* a, const uint8_t* b)>;
void ExpectOrdered(const uint8_t* input, size_t count, const std::vector<uint8_t>& output,
                   uint32_t width, uint32_t idOffset, const RowOrderFn& order, bool strict);
// `result`, the sink opened and closed once, and ExpectOrdered by the keys.
void ExpectSorted(const Rows& input, const SortSetup& setup, const SortOutcome& outcome,
                  HRESULT result = S_OK);

using testsupport::TempDir;

// Fixtures of the tests that spill: a scratch area that must end empty.
inline constexpr uint32_t kPadding = 100 - kBaseWidth;  // 100-byte rows: some split by extents.

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
  // A disk run per `runBytes` of input, kept for the final merge unless `mergeEarly`.
  SortSetup SmallBudget(uint32_t runBytes, bool mergeEarly = false) {
    SortEngineTestAccess::SetSmallRunWait(&engine_, 128u << 10, 2, 5);
    SortEngineTestAccess::SetMergeDiskRunsEarly(&engine_, mergeEarly);
    // Whole extents: four readers in the smallest allowance.
    SortEngineTestAccess::SetMergeReadExtentBytes(&engine_, ScratchExtentSize);
    return {.ramBudget = runBytes,
            .scratchFileBytes = runBytes,
            .batchRows = (64u << 10) / 100,
            .padding = kPadding,
            .scratchArea = dir_.u16()};
  }
};

}  // namespace enginetest
