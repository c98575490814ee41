// The batch sort stays within n log n comparisons on adversarial input.
#include "engine/row_sort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <numeric>

#include "platform/unaligned.h"

namespace {

// Rows of 8 bytes, a status then an int32, compared through a counter.
uint64_t g_comparisons = 0;
std::function<int32_t(int32_t, int32_t)> g_order;

int32_t ByValue(int32_t l, int32_t r) {
  return l < r ? -1 : l > r ? 1 : 0;
}

int32_t CountingCompare(const void* left, const void* right, uint32_t) {
  ++g_comparisons;
  return g_order(plat::Load<int32_t>(left), plat::Load<int32_t>(right));
}

// Sorts rows holding `values`; returns the values in sorted order.
std::vector<int32_t> Sort(std::vector<int32_t> values) {
  // A key of no known type has no prefix: every comparison is counted.
  const std::vector<SortColumn> keys = {
      SortColumn{4, kNoLengthField, 0, {}, 0, 1, &CountingCompare, nullptr, 4}};
  RowOrder order;
  order.Reset(keys);
  std::vector<uint8_t> rows(values.size() * 8, 0);
  std::vector<SortEntry> entries;
  for (size_t i = 0; i < values.size(); ++i) {
    std::memcpy(&rows[i * 8 + 4], &values[i], 4);
    entries.push_back(order.EntryFor(&rows[i * 8]));
  }
  g_comparisons = 0;
  SortEntries(entries.data(), static_cast<uint32_t>(entries.size()), order);
  for (size_t i = 0; i < values.size(); ++i) std::memcpy(&values[i], entries[i].Row + 4, 4);
  return values;
}

double NLogN(size_t n) {
  return n * std::log2(std::max<double>(n, 2));
}

// McIlroy's adversary makes every pivot nearly the smallest row: without a
// depth bound a quicksort takes quadratic time.
TEST(RowSortTest, AdversarialOrderStaysWithinNLogN) {
  const int32_t n = 20000;
  std::vector<int32_t> value(n, n);  // n: not yet fixed, above all others.
  int32_t fixed = 0, candidate = -1;
  g_order = [&](int32_t x, int32_t y) {
    if (value[x] == n && value[y] == n) value[x == candidate ? x : y] = fixed++;
    if (value[x] == n) {
      candidate = x;
    } else if (value[y] == n) {
      candidate = y;
    }
    return ByValue(value[x], value[y]);
  };
  std::vector<int32_t> ids(n);
  std::iota(ids.begin(), ids.end(), 0);
  const std::vector<int32_t> sorted = Sort(ids);
  EXPECT_LE(g_comparisons, 4 * NLogN(n));
  for (int32_t i = 1; i < n; ++i) ASSERT_LE(value[sorted[i - 1]], value[sorted[i]]) << i;
}

}  // namespace
