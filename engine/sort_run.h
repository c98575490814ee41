// A sorted run of stored rows, the heap blocks that hold its rows, and the
// intrusive list that the engine keeps runs in.
#pragma once

#include <cstdint>

#include "engine/sort_entry.h"
#include "scratch/scratch_file.h"

// A chunk of rows: a block of the engine's heap with this header in front of
// the rows. The chunks of one run are chained through it, so that a merged
// run takes over the chunks of its inputs without allocating anything. (A
// chunk is not a scratch extent, nor one of the host's buffers.)
struct alignas(16) RowChunk {
  RowChunk* Next;
  uint32_t RowCount;  // Rows stored in the chunk.
  uint8_t* Rows() { return reinterpret_cast<uint8_t*>(this + 1); }
};

// One run. In memory: Chunks holds the rows and Entries their order, from
// Cursor on (the entries before Cursor are consumed). On disk: Reader holds
// the rows and Chunks and Entries are null. Either way RowCount rows are left.
struct SortRun {
  RowChunk* Chunks = nullptr;     // First chunk of the chain.
  RowChunk* LastChunk = nullptr;  // Last chunk, for constant-time concatenation.
  SortEntry* Entries = nullptr;
  SortEntry* Cursor = nullptr;
  uint32_t RowCount = 0;  // Rows not yet consumed.
  uint32_t RowWidth = 0;
  ScratchReader* Reader = nullptr;
  // One more than the highest level of the runs merged into it; 0 for a
  // batch and for a run spilled from memory. Runs of one level, in memory or
  // on disk, are of about the same size.
  uint32_t Level = 0;

  // Links of the one RunList the run is in. Changed only under the lock of
  // that list.
  SortRun* Prev = nullptr;
  SortRun* Next = nullptr;

  bool OnDisk() const { return Reader != nullptr; }
  uint64_t Bytes() const { return static_cast<uint64_t>(RowCount) * RowWidth; }
  // What the run holds in memory against the budget: its rows and, for a
  // run in memory, their entries.
  uint64_t StoredBytes() const {
    return OnDisk() ? 0 : static_cast<uint64_t>(RowCount) * (RowWidth + sizeof(SortEntry));
  }
};

// A doubly linked list of runs threaded through their own links: moving a run
// between lists never allocates, so it cannot fail on a worker thread.
class RunList {
 public:
  RunList() = default;
  RunList(const RunList&) = delete;
  RunList& operator=(const RunList&) = delete;

  SortRun* Front() const { return first_; }
  SortRun* Back() const { return last_; }
  bool Empty() const { return first_ == nullptr; }
  uint32_t Size() const { return size_; }

  void PushFront(SortRun* run) { InsertBefore(first_, run); }
  void PushBack(SortRun* run) { InsertBefore(nullptr, run); }

  // Inserts `run` before `position`; a null position means at the end.
  void InsertBefore(SortRun* position, SortRun* run) {
    run->Next = position;
    run->Prev = position ? position->Prev : last_;
    (run->Prev ? run->Prev->Next : first_) = run;
    (position ? position->Prev : last_) = run;
    ++size_;
  }

  // REQUIRES: `run` is in this list.
  void Remove(SortRun* run) {
    (run->Prev ? run->Prev->Next : first_) = run->Next;
    (run->Next ? run->Next->Prev : last_) = run->Prev;
    run->Prev = run->Next = nullptr;
    --size_;
  }

  SortRun* PopFront() {
    SortRun* run = first_;
    if (run) Remove(run);
    return run;
  }

 private:
  SortRun* first_ = nullptr;
  SortRun* last_ = nullptr;
  uint32_t size_ = 0;
};
