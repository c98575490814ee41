// The batch sort: correct on every shape of input, and never quadratic.
#include "engine/row_sort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <numeric>
#include <random>

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

TEST(RowSortTest, SortsEveryShapeWithinNLogNAndOrderedInputInNComparisons) {
  g_order = ByValue;
  std::mt19937 random(42);
  using Shape = std::function<int32_t(int32_t i, int32_t n)>;
  const Shape ordered[] = {
      [](int32_t i, int32_t) { return i; },
      [](int32_t i, int32_t) { return i / 100; },  // Steps of equal keys.
      [](int32_t i, int32_t n) { return n - i; },
      [](int32_t i, int32_t) { return i < 3 ? 9 : -i; },  // Equal, then descending.
  };
  const Shape unordered[] = {
      [&](int32_t, int32_t) { return static_cast<int32_t>(random() % 1000000); },
      [](int32_t i, int32_t n) { return i < n / 2 ? i : n - i; },  // Organ pipe.
      [](int32_t i, int32_t) { return i % 37; },                   // Sawtooth.
      [&](int32_t, int32_t) { return static_cast<int32_t>(random() % 3); },
      [](int32_t i, int32_t n) { return i == n / 2 ? -1 : i; },  // Sorted but one.
  };
  for (int32_t n : {0, 1, 2, 3, 16, 17, 127, 128, 129, 1000, 30000}) {
    for (const auto& [shapes, count, bound] :
         {std::tuple{&ordered[0], 4, n + 1.0}, {&unordered[0], 5, 3 * NLogN(n) + 20}}) {
      for (int s = 0; s < count; ++s) {
        std::vector<int32_t> values(n);
        for (int32_t i = 0; i < n; ++i) values[i] = shapes[s](i, n);
        std::vector<int32_t> expected = values;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(expected, Sort(values)) << s << " n=" << n;
        EXPECT_LE(g_comparisons, bound) << s << " n=" << n;
      }
    }
  }
}

// McIlroy's adversary fixes the order of rows only as they are compared, so
// that every pivot turns out nearly the smallest row: without a depth bound
// a quicksort then takes quadratic time.
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
