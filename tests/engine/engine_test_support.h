// Test rows (raw stored rows in a fixed layout), a sink that keeps the
// sorted rows, and the check of a sort's output against its input.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/sort_engine.h"
#include "tests/support/test_files.h"

namespace enginetest {

// Rows: k1 (I4), k2 (I8), a DT_BYTES value of up to 16 bytes, the row's id
// (I4, never a key), then `padding` bytes.
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
// k1 laid out by `pattern`, k2 and the bytes random; with nullEvery > 0 every
// nullEvery-th row has NULL k1 and bytes, and every other one of those NULL k2.
Rows MakeRows(size_t count, Pattern pattern, uint32_t seed, uint32_t padding = 0,
              uint32_t nullEvery = 0);
Rows Slice(const Rows& rows, size_t begin, size_t end);

// Keeps every row handed to it; the row numbered failAtRow fails with failResult.
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
  std::vector<int32_t> ids;     // Of the output rows, in output order.
  std::vector<uint8_t> output;  // The rows handed on, as stored.
  int opens = 0, closes = 0;
};

void Configure(SortEngine* engine, const SortSetup& setup);
// Create (which must succeed), then `feed` (default: the rows in buffers of
// setup.batchRows, ending the input), then Destroy.
SortOutcome RunSort(SortEngine* engine, const Rows& rows, const SortSetup& setup,
                    const std::function<HRESULT(SortEngine*)>& feed = nullptr,
                    uint64_t failAtRow = UINT64_MAX, HRESULT failResult = E_FAIL);
// The rows in buffers of setup.batchRows, ending the input if `end`.
HRESULT Feed(SortEngine* engine, const Rows& rows, const SortSetup& setup, bool end = true);
HRESULT AddAll(SortEngine* engine, const Rows& rows, bool end = false);

// Expects every output row (its id, an I4, at idOffset) to be one of the
// `count` input rows, byte for byte, once, in `order` (strictly if `strict`);
// and every input row out, or with `strict` one row of each group of equals.
using RowOrderFn = std::function<int(const uint8_t* a, const uint8_t* b)>;
void ExpectOrdered(const uint8_t* input, size_t count, const std::vector<uint8_t>& output,
                   uint32_t width, uint32_t idOffset, const RowOrderFn& order, bool strict);
// Expects `result`, and every input row out once, byte for byte, in key order
// (with duplicates eliminated: one row of each group of equal keys, strictly).
void ExpectSorted(const Rows& input, const SortSetup& setup, const SortOutcome& outcome,
                  HRESULT result = S_OK);

using testsupport::TempDir;

}  // namespace enginetest
