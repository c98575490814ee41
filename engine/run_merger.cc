#include "engine/run_merger.h"

#include <new>
#include <utility>

#include "scratch/scratch_file.h"

namespace {

// How many entries ahead of a run's head its row is fetched: far enough that
// the fetch is done when the row comes out, near enough that it stays cached.
constexpr uint32_t kPrefetchDistance = 4;
constexpr uint32_t kCacheLine = 64;

}  // namespace

RunMerger::~RunMerger() {
  delete[] sources_;
  delete[] losers_;
}

HRESULT RunMerger::Start(std::initializer_list<const RunList*> lists) {
  if (sources_) return E_UNEXPECTED;
  uint32_t count = 0;
  for (const RunList* list : lists) count += list->Size();
  if (count == 0) return S_OK;
  sources_ = new (std::nothrow) Source[count];
  // Leaves sit at count..2count-1 of a complete binary tree whose inner
  // nodes are 1..count-1; the build needs the winners of every node once.
  auto* winners = new (std::nothrow) uint32_t[2 * count];
  losers_ = new (std::nothrow) uint32_t[count];
  if (!sources_ || !winners || !losers_) {
    delete[] winners;
    return E_OUTOFMEMORY;
  }
  count_ = count;
  HRESULT hr = S_OK;
  uint32_t i = 0;
  for (const RunList* list : lists) {
    for (SortRun* run = list->Front(); run && SUCCEEDED(hr); run = run->Next) hr = Open(i++, run);
  }
  if (SUCCEEDED(hr)) {
    for (i = 0; i < count; ++i) winners[count + i] = i;
    for (uint32_t p = count - 1; p >= 1; --p) {
      uint32_t a = winners[2 * p], b = winners[2 * p + 1];
      if (Beats(b, a)) std::swap(a, b);
      winners[p] = a;
      losers_[p] = b;
    }
    winner_ = count == 1 ? 0 : winners[1];
  }
  delete[] winners;
  if (FAILED(hr)) count_ = 0;  // Done: nothing is handed out.
  return hr;
}

// Makes the run's first row the head of source i.
HRESULT RunMerger::Open(uint32_t i, SortRun* run) {
  Source& s = sources_[i];
  s = {{0, nullptr}, nullptr, nullptr, run, 0, run->RowCount > 0};
  if (!s.live) return S_OK;
  s.left = run->RowCount - 1;
  if (run->OnDisk()) {
    const HRESULT hr = NextScratchRow(run->Reader);
    if (FAILED(hr)) return hr;
    s.head = order_.EntryFor(run->Reader->CurrentRow);
  } else {
    s.head = run->Cursor[0];
    s.next = run->Cursor + 1;
    s.end = run->Cursor + run->RowCount;
    if (prefetchBytes_ != 0) {
      for (uint32_t k = 0; k < kPrefetchDistance && run->Cursor + k < s.end; ++k) {
        Prefetch(run->Cursor[k].Row);
      }
    }
  }
  return S_OK;
}

HRESULT RunMerger::Advance(Source* s) {
  if (s->left == 0) {
    s->live = false;
    return S_OK;
  }
  --s->left;
  if (s->next) {
    s->head = *s->next++;
    if (prefetchBytes_ != 0 && s->next + kPrefetchDistance - 1 < s->end) {
      Prefetch(s->next[kPrefetchDistance - 1].Row);
    }
    return S_OK;
  }
  ScratchReader* reader = s->run->Reader;
  const HRESULT hr = NextScratchRow(reader);
  if (FAILED(hr)) return hr;
  s->head = order_.EntryFor(reader->CurrentRow);
  return S_OK;
}

// Every cache line the row's first prefetchBytes_ bytes touch: a row that
// straddles lines would otherwise miss on its second one.
void RunMerger::Prefetch(const uint8_t* row) const {
  const auto first = reinterpret_cast<uintptr_t>(row) & ~uintptr_t{kCacheLine - 1};
  const uintptr_t last = reinterpret_cast<uintptr_t>(row) + prefetchBytes_ - 1;
  for (uintptr_t line = first; line <= last; line += kCacheLine) {
    __builtin_prefetch(reinterpret_cast<const void*>(line));
  }
}

HRESULT RunMerger::Pop(SortRun** drained) {
  Source* s = &sources_[winner_];
  const HRESULT hr = Advance(s);
  if (FAILED(hr)) return hr;
  *drained = s->live ? nullptr : s->run;
  uint32_t w = winner_;
  for (uint32_t p = (count_ + w) / 2; p >= 1; p /= 2) {
    if (Beats(losers_[p], w)) std::swap(losers_[p], w);
  }
  winner_ = w;
  return S_OK;
}
