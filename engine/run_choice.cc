// Which runs go together: into a merge in memory, into a spill, into a merge
// of runs on disk. Each choice moves the runs it takes out of their list, so
// that whoever merges them holds them alone.
#include "engine/engine_limits.h"
#include "engine/run_store.h"

namespace {

// Runs merged at once in memory. A wide fan-in keeps the levels few (three
// for a gigabyte of 1 MB batches) and the final merge short of runs.
constexpr uint32_t kMemoryFanIn = 16;

}  // namespace

// Takes kMemoryFanIn runs of the lowest level that has them out of
// MemoryRuns into `group` (in list order) and counts a merge in progress. A
// level whose runs together would pass ScratchFileBytes is merged as soon as
// the runs that fit are there, at least two; larger runs stay as they are
// (they are spilled or meet the final merge). 0 when there is nothing to
// merge or the input has ended.
uint32_t RunStore::PickMergeGroup(RunList* group) {
  plat::Lock lock(RunListLock);
  if (InputEnded) return 0;

  for (uint32_t level = 0;; ++level) {
    uint32_t taken = 0;
    uint64_t total = 0;
    bool higher = false, full = false;
    for (SortRun* r = memoryRuns_.Front(); r; r = r->Next) {
      higher |= r->Level > level;
      if (r->Level != level) continue;
      if (total + r->Bytes() > ScratchFileBytes) {
        full = taken >= 2;
        break;
      }
      total += r->Bytes();
      if (++taken == kMemoryFanIn) {
        full = true;
        break;
      }
    }
    if (full) {
      for (SortRun* r = memoryRuns_.Front(); r && group->Size() < taken;) {
        SortRun* next = r->Next;
        if (r->Level == level) {
          memoryRuns_.Remove(r);
          group->PushBack(r);
        }
        r = next;
      }
      ++mergesInProgress_;
      return taken;
    }
    if (!higher) return 0;
  }
}

// The runs to spill are the largest runs in memory, from the back of
// MemoryRuns, together at most ScratchFileBytes of rows (at least one run).
//
// A group smaller than SmallRunBytes is taken only after SmallRunWaits waits
// for more rows to be sorted into memory, and only while batches being
// sorted or merges in progress could add some: with nothing in flight the
// wait cannot help, and with a small budget it would stall every spill (and
// the input waiting for it) for seconds. When no sorted run is in memory but
// batches are still being sorted or merged, the spill waits for them rather
// than give up: otherwise an input faster than sorting would run far past
// the budget, the spill finding nothing to write each time.
bool RunStore::TakeSpillGroup(RunList* group, uint32_t* tries, uint32_t* waitMs) {
  plat::Lock listLock(RunListLock);
  const bool inFlight = mergesInProgress_ > 0 || !pendingBatches_.Empty();
  if (memoryRuns_.Empty()) {
    if (!inFlight) return true;  // Nothing to come.
    *waitMs = kPendingWorkWaitMs;
    return false;
  }
  uint64_t bytes = 0;
  for (SortRun* r = memoryRuns_.Back(); r; r = r->Prev) bytes += r->Bytes();
  if (*tries < Spill.SmallRunWaits && bytes < Spill.SmallRunBytes && inFlight) {
    ++*tries;
    *waitMs = Spill.SmallRunWaitMs;
    return false;
  }
  bytes = 0;
  for (SortRun* r = memoryRuns_.Back(); r;) {
    SortRun* prev = r->Prev;
    if (!group->Empty() && bytes + r->Bytes() > ScratchFileBytes) break;
    bytes += r->Bytes();
    memoryRuns_.Remove(r);
    group->PushBack(r);
    r = prev;
  }
  return true;
}

// Once more than `limit` (F) runs are on disk: the runs of the lowest level
// that has F of them, or, when no level is full and more than 2F runs are
// on disk, the F of the lowest levels. A group of fewer than two (runs too
// large to merge within a 32-bit row count) goes back: the level stays as it
// is.
void RunStore::TakeEarlyDiskRunGroup(uint32_t limit, RunList* group) {
  plat::Lock listLock(RunListLock);
  if (diskRuns_.Size() <= limit) return;
  uint32_t level = 0;
  for (;; ++level) {
    uint32_t count = 0, higher = 0;
    for (SortRun* r = diskRuns_.Front(); r; r = r->Next) {
      count += r->Level == level;
      higher += r->Level > level;
    }
    if (count >= limit) break;
    if (higher == 0) {
      // No level is full: merge the lowest levels once the files on disk
      // reach the cap.
      if (diskRuns_.Size() <= 2 * limit) return;
      level = 0;
      break;
    }
  }
  TakeDiskRunGroup(level, limit, group);
  if (group->Size() < 2) ReturnDiskRuns(group);
}

// Moves up to `most` runs from DiskRuns to the back of `group`: those of
// `level` first, then those of each level above it, each level in list
// order, leaving out any run that would take the group's rows past a 32-bit
// count.
void RunStore::TakeDiskRunGroup(uint32_t level, uint32_t most, RunList* group) {
  uint64_t rows = 0;
  for (bool more = true; more && group->Size() < most; ++level) {
    more = false;
    for (SortRun* r = diskRuns_.Front(); r && group->Size() < most;) {
      SortRun* next = r->Next;
      more |= r->Level > level;
      if (r->Level == level && rows + r->RowCount <= UINT32_MAX) {
        rows += r->RowCount;
        diskRuns_.Remove(r);
        --diskRunCount_;
        group->PushBack(r);
      }
      r = next;
    }
  }
}
