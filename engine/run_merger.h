// The one merger of sorted runs: the in-memory merges, the merges of runs on
// disk and the final merge all take their rows from it.
//
// A tournament tree of losers over one cursor per run. Each inner node keeps
// the run that lost the match played there; the overall winner is kept
// apart. Taking the winner's next row replays only the matches on its path
// to the root: log2(runs) comparisons a row, each between entries that the
// merger holds itself, so a comparison reads a row only when two prefixes
// tie.
//
// Runs are ordered by (key, position in the list given to Start): rows with
// equal keys come out of the run given first before those of later runs.
//
// A run in memory is read through its own cursor copy, so the run itself is
// left as it was: a merge that is given up (no memory for its result, a
// failed spill) has lost nothing. A run on disk is read through its reader,
// which moves on for good.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "engine/sort_entry.h"
#include "engine/sort_run.h"
#include "platform/com_types.h"

// How much of a row the merges that read rows fetch ahead; beyond it the
// hardware's own prefetch follows the row's sequential reads.
constexpr uint32_t kMostPrefetchBytes = 256;

class RunMerger {
 public:
  // prefetchBytes: how much of each row will be read as it comes out
  // (written to the output or a scratch file); the next rows of each run in
  // memory are fetched ahead that far, every cache line of them. 0: the rows
  // are not read (a merge of entries).
  RunMerger(const RowOrder& order, uint32_t prefetchBytes)
      : order_(order), prefetchBytes_(prefetchBytes) {}
  ~RunMerger();
  RunMerger(const RunMerger&) = delete;
  RunMerger& operator=(const RunMerger&) = delete;

  // Takes the runs of the lists, in tie order (list by list, each front to
  // back), and makes the smallest row current. A run on disk must be started
  // (StartScratchRead) and not yet moved to its first row. E_OUTOFMEMORY, or
  // the failure of a first read. REQUIRES: while the merger runs, the lists
  // lose no run but a drained one (which the caller may then discard).
  HRESULT Start(std::initializer_list<const RunList*> lists);

  bool Done() const { return count_ == 0 || !sources_[winner_].live; }
  // REQUIRES: !Done(). Valid until the next Pop.
  const SortEntry& Top() const { return sources_[winner_].head; }
  // Moves past Top. *drained is the run whose last row that was, or null.
  HRESULT Pop(SortRun** drained);

 private:
  struct Source {
    SortEntry head;
    const SortEntry* next;  // In memory: the entry after head.
    const SortEntry* end;
    SortRun* run;
    uint32_t left;  // Rows after head.
    bool live;
  };

  // True when source a's head goes out before source b's.
  bool Beats(uint32_t a, uint32_t b) const {
    const Source& x = sources_[a];
    const Source& y = sources_[b];
    if (!x.live) return false;
    if (!y.live) return true;
    const int32_t c = order_.Compare(x.head, y.head);
    return c != 0 ? c < 0 : a < b;
  }
  HRESULT Open(uint32_t index, SortRun* run);
  HRESULT Advance(Source* source);
  void Prefetch(const uint8_t* row) const;

  const RowOrder& order_;
  const uint32_t prefetchBytes_;
  Source* sources_ = nullptr;
  uint32_t* losers_ = nullptr;  // losers_[1..count_-1]; node p has children 2p and 2p+1.
  uint32_t count_ = 0;
  uint32_t winner_ = 0;
};
