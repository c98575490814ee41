// Sorting the entries of one batch.
//
// An introsort over the entry array: quicksort with an explicit stack that
// always sorts the shorter part first (so the stack stays within log2(n)
// entries), ninther or median-of-three pivots, insertion sort for short
// ranges, and heapsort for a range still unsorted after 2*log2(n) levels, so
// that no input takes more than O(n log n) comparisons. A range already in
// key order, or in reverse key order, is settled by one pass first: input
// that arrives sorted costs one comparison per row.
#include "engine/row_sort.h"

#include <utility>

namespace {

constexpr int32_t kInsertionSortMax = 16;  // Ranges of at most this many rows.
constexpr int32_t kNintherMin = 128;       // Ranges of at least this many rows.
constexpr int kStackSize = 64;             // > log2(2^31) + 2 pending ranges.

using Rows = SortEntry*;

template <class Less>
void InsertionSort(Rows a, int32_t lo, int32_t hi, const Less& less) {
  for (int32_t i = lo + 1; i <= hi; ++i) {
    const SortEntry row = a[i];
    int32_t j = i;
    for (; j > lo && less(row, a[j - 1]); --j) a[j] = a[j - 1];
    a[j] = row;
  }
}

template <class Less>
void SiftDown(Rows a, int32_t base, int32_t root, int32_t count, const Less& less) {
  const SortEntry row = a[base + root];
  for (;;) {
    int32_t child = 2 * root + 1;
    if (child >= count) break;
    if (child + 1 < count && less(a[base + child], a[base + child + 1])) ++child;
    if (!less(row, a[base + child])) break;
    a[base + root] = a[base + child];
    root = child;
  }
  a[base + root] = row;
}

template <class Less>
void HeapSort(Rows a, int32_t lo, int32_t hi, const Less& less) {
  const int32_t count = hi - lo + 1;
  for (int32_t root = count / 2 - 1; root >= 0; --root) SiftDown(a, lo, root, count, less);
  for (int32_t end = count - 1; end > 0; --end) {
    std::swap(a[lo], a[lo + end]);
    SiftDown(a, lo, 0, end, less);
  }
}

// True when lo..hi is now in key order: it was already, or it was in
// non-increasing order and has been reversed. Stops at the first pair that
// rules out both, so unordered input pays a few comparisons only.
template <class Less>
bool SettleMonotonicRange(Rows a, int32_t lo, int32_t hi, const Less& less) {
  int32_t i = lo;
  while (i < hi && !less(a[i + 1], a[i])) ++i;
  if (i == hi) return true;
  // a[lo..i] is non-decreasing and a[i] > a[i+1]: only a run of equal rows
  // may precede the descent for the range to be non-increasing.
  if (i != lo && less(a[lo], a[i])) return false;
  while (i < hi && !less(a[i], a[i + 1])) ++i;
  if (i != hi) return false;
  for (int32_t l = lo, h = hi; l < h; ++l, --h) std::swap(a[l], a[h]);
  return true;
}

template <class Less>
int32_t MedianOfThree(Rows a, int32_t x, int32_t y, int32_t z, const Less& less) {
  if (less(a[x], a[y])) {
    if (less(a[y], a[z])) return y;
    return less(a[x], a[z]) ? z : x;
  }
  if (less(a[z], a[y])) return y;
  return less(a[x], a[z]) ? x : z;
}

int32_t FloorLog2(uint32_t n) {
  return 31 - __builtin_clz(n);
}

// One partition step over lo..hi (hi > lo): the pivot, chosen as a median,
// is moved to a[hi]; the scans stop at rows equal to the pivot on both sides,
// so runs of equal keys split in the middle. Returns the pivot's final index.
template <class Less>
int32_t PartitionEntries(Rows a, int32_t lo, int32_t hi, const Less& less) {
  const int32_t mid = lo + (hi - lo) / 2;
  int32_t median;
  if (hi - lo + 1 >= kNintherMin) {
    const int32_t s = (hi - lo) / 8;
    median = MedianOfThree(a, MedianOfThree(a, lo, lo + s, lo + 2 * s, less),
                           MedianOfThree(a, mid - s, mid, mid + s, less),
                           MedianOfThree(a, hi - 2 * s, hi - s, hi, less), less);
  } else {
    median = MedianOfThree(a, lo, mid, hi, less);
  }
  std::swap(a[median], a[hi]);

  const SortEntry pivot = a[hi];
  int32_t i = lo - 1;
  int32_t j = hi;
  for (;;) {
    while (less(a[++i], pivot)) {
    }
    do {
      --j;
    } while (j != lo && less(pivot, a[j]));
    if (i >= j) break;
    std::swap(a[i], a[j]);
  }
  std::swap(a[i], a[hi]);
  return i;
}

}  // namespace

void SortEntries(SortEntry* a, uint32_t count, const RowOrder& order) {
  if (count < 2) return;
  auto less = [&order](const SortEntry& l, const SortEntry& r) { return order.Less(l, r); };
  const int32_t lo = 0, hi = static_cast<int32_t>(count - 1);
  if (SettleMonotonicRange(a, lo, hi, less)) return;

  struct Range {
    int32_t lo, hi, depthLeft;
  };
  Range stack[kStackSize];
  int top = 0;
  stack[top++] = {lo, hi, 2 * FloorLog2(static_cast<uint32_t>(hi - lo + 1))};
  while (top > 0) {
    const Range r = stack[--top];
    if (r.hi - r.lo < kInsertionSortMax) {
      InsertionSort(a, r.lo, r.hi, less);
      continue;
    }
    if (r.depthLeft == 0) {
      HeapSort(a, r.lo, r.hi, less);
      continue;
    }
    const int32_t p = PartitionEntries(a, r.lo, r.hi, less);
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
