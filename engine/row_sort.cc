// Sorting the row addresses of one batch.
//
// An introsort over the address array: quicksort with an explicit stack that
// always sorts the shorter part first (so the stack stays within log2(n)
// entries), ninther or median-of-three pivots, insertion sort for short
// ranges, and heapsort for a range still unsorted after 2*log2(n) levels, so
// that no input takes more than O(n log n) comparisons. A range already in
// key order, or in reverse key order, is settled by one pass first: input
// that arrives sorted costs one comparison per row.
#include <utility>

#include "engine/sort_engine.h"

namespace {

constexpr int32_t kInsertionSortMax = 16;  // Ranges of at most this many rows.
constexpr int32_t kNintherMin = 128;       // Ranges of at least this many rows.
constexpr int kStackSize = 64;             // > log2(2^31) + 2 pending ranges.

using Rows = uint8_t**;

template <class Compare>
void InsertionSort(Rows a, int32_t lo, int32_t hi, const Compare& cmp) {
  for (int32_t i = lo + 1; i <= hi; ++i) {
    uint8_t* row = a[i];
    int32_t j = i;
    for (; j > lo && cmp(row, a[j - 1]) < 0; --j) a[j] = a[j - 1];
    a[j] = row;
  }
}

template <class Compare>
void SiftDown(Rows a, int32_t base, int32_t root, int32_t count, const Compare& cmp) {
  uint8_t* row = a[base + root];
  for (;;) {
    int32_t child = 2 * root + 1;
    if (child >= count) break;
    if (child + 1 < count && cmp(a[base + child], a[base + child + 1]) < 0) ++child;
    if (cmp(row, a[base + child]) >= 0) break;
    a[base + root] = a[base + child];
    root = child;
  }
  a[base + root] = row;
}

template <class Compare>
void HeapSort(Rows a, int32_t lo, int32_t hi, const Compare& cmp) {
  const int32_t count = hi - lo + 1;
  for (int32_t root = count / 2 - 1; root >= 0; --root) SiftDown(a, lo, root, count, cmp);
  for (int32_t end = count - 1; end > 0; --end) {
    std::swap(a[lo], a[lo + end]);
    SiftDown(a, lo, 0, end, cmp);
  }
}

// True when lo..hi is now in key order: it was already, or it was in
// non-increasing order and has been reversed. Stops at the first pair that
// rules out both, so unordered input pays a few comparisons only.
template <class Compare>
bool SettleMonotonicRange(Rows a, int32_t lo, int32_t hi, const Compare& cmp) {
  int32_t i = lo;
  while (i < hi && cmp(a[i], a[i + 1]) <= 0) ++i;
  if (i == hi) return true;
  // a[lo..i] is non-decreasing and a[i] > a[i+1]: only a run of equal rows
  // may precede the descent for the range to be non-increasing.
  if (i != lo && cmp(a[lo], a[i]) != 0) return false;
  while (i < hi && cmp(a[i], a[i + 1]) >= 0) ++i;
  if (i != hi) return false;
  for (int32_t l = lo, h = hi; l < h; ++l, --h) std::swap(a[l], a[h]);
  return true;
}

template <class Compare>
int32_t MedianOfThree(Rows a, int32_t x, int32_t y, int32_t z, const Compare& cmp) {
  if (cmp(a[x], a[y]) < 0) {
    if (cmp(a[y], a[z]) < 0) return y;
    return cmp(a[x], a[z]) < 0 ? z : x;
  }
  if (cmp(a[z], a[y]) < 0) return y;
  return cmp(a[x], a[z]) < 0 ? x : z;
}

int32_t FloorLog2(uint32_t n) {
  return 31 - __builtin_clz(n);
}

}  // namespace

void SortEngine::SortRows(SortRun* run, int32_t lo, int32_t hi) {
  if (hi <= lo) return;
  Rows a = run->RowPointers;
  auto cmp = [this](const uint8_t* l, const uint8_t* r) { return CompareRowKeys(l, r); };
  if (SettleMonotonicRange(a, lo, hi, cmp)) return;

  struct Range {
    int32_t lo, hi, depthLeft;
  };
  Range stack[kStackSize];
  int top = 0;
  stack[top++] = {lo, hi, 2 * FloorLog2(static_cast<uint32_t>(hi - lo + 1))};
  while (top > 0) {
    const Range r = stack[--top];
    if (r.hi - r.lo < kInsertionSortMax) {
      InsertionSort(a, r.lo, r.hi, cmp);
      continue;
    }
    if (r.depthLeft == 0) {
      HeapSort(a, r.lo, r.hi, cmp);
      continue;
    }
    const int32_t p = PartitionRows(run, r.lo, r.hi);
    const Range left{r.lo, p - 1, r.depthLeft - 1};
    const Range right{p + 1, r.hi, r.depthLeft - 1};
    // The part pushed last is sorted next: the shorter one.
    if (p - r.lo > r.hi - p) {
      stack[top++] = left;
      stack[top++] = right;
    } else {
      stack[top++] = right;
      stack[top++] = left;
    }
  }
}

// One partition step over lo..hi (hi > lo): the pivot, chosen as a median,
// is moved to a[hi]; the scans stop at rows equal to the pivot on both sides,
// so runs of equal keys split in the middle. Returns the pivot's final index.
int32_t SortEngine::PartitionRows(SortRun* run, int32_t lo, int32_t hi) {
  Rows a = run->RowPointers;
  auto cmp = [this](const uint8_t* l, const uint8_t* r) { return CompareRowKeys(l, r); };
  const int32_t mid = lo + (hi - lo) / 2;
  int32_t median;
  if (hi - lo + 1 >= kNintherMin) {
    const int32_t s = (hi - lo) / 8;
    median = MedianOfThree(a, MedianOfThree(a, lo, lo + s, lo + 2 * s, cmp),
                           MedianOfThree(a, mid - s, mid, mid + s, cmp),
                           MedianOfThree(a, hi - 2 * s, hi - s, hi, cmp), cmp);
  } else {
    median = MedianOfThree(a, lo, mid, hi, cmp);
  }
  std::swap(a[median], a[hi]);

  const uint8_t* pivot = a[hi];
  int32_t i = lo - 1;
  int32_t j = hi;
  for (;;) {
    while (cmp(a[++i], pivot) < 0) {
    }
    do {
      --j;
    } while (j != lo && cmp(pivot, a[j]) < 0);
    if (i >= j) break;
    std::swap(a[i], a[j]);
  }
  std::swap(a[i], a[hi]);
  return i;
}
