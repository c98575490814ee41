// Spilling runs to scratch files.
//
// A spill merges the sorted runs in memory, largest first, into one new run
// on disk: as many as together hold at most ScratchFileBytes of rows (at
// least one run). The merge compares entries only and reads each row once,
// to copy it into the write buffer, so a spilled run is as large as memory
// allows at no more cost than writing runs one by one, and the input makes
// far fewer, larger runs on disk: fewer merges of disk runs later, none at
// all for inputs up to about F spills (MaxReadersAtOnce).
#include "engine/engine_limits.h"
#include "engine/sort_engine.h"

// Moves the runs to spill from MemoryRuns to `group`; S_FALSE when there is
// nothing to spill.
//
// A group smaller than SmallRunBytes is taken only after SmallRunWaits waits
// for more rows to be sorted into memory, and only while batches being
// sorted or merges in progress could add some: with nothing in flight the
// wait cannot help, and with a small budget it would stall every spill (and
// the input waiting for it) for seconds. When no sorted run is in memory but
// batches are still being sorted or merged, it waits for them rather than
// give up: otherwise an input faster than sorting would run far past the
// budget, the spill finding nothing to write each time.
// REQUIRES: SpillLock held, RunListLock not held.
HRESULT SortEngine::TakeSpillGroup(RunList* group) {
  uint32_t waitMs = 0;  // 0: look at once.
  for (uint32_t tries = 0;;) {
    if (waitMs > 0) plat::WaitForEvent(MergeDoneEvent, waitMs);
    if (StopRequested) return S_FALSE;
    plat::Lock listLock(RunListLock);
    const bool inFlight = MergesInProgress > 0 || !PendingBatches.Empty();
    if (MemoryRuns.Empty()) {
      if (!inFlight) return S_FALSE;  // Nothing to come.
      waitMs = kPendingWorkWaitMs;
      continue;
    }
    uint64_t bytes = 0;
    for (SortRun* r = MemoryRuns.Back(); r; r = r->Prev) bytes += r->Bytes();
    if (tries < SmallRunWaits && bytes < SmallRunBytes && inFlight) {
      ++tries;
      waitMs = SmallRunWaitMs;
      continue;
    }
    bytes = 0;
    for (SortRun* r = MemoryRuns.Back(); r;) {
      SortRun* prev = r->Prev;
      if (!group->Empty() && bytes + r->Bytes() > ScratchFileBytes) break;
      bytes += r->Bytes();
      MemoryRuns.Remove(r);
      group->PushBack(r);
      r = prev;
    }
    return S_OK;
  }
}

// Writes the largest runs in memory, merged, to a new scratch file and
// moves the merged run to DiskRuns. *wroteRun tells whether a run went to
// disk.
//
// An area that refuses the file (full, missing, failing) is set aside for the
// rest of the execution and the group goes to the next area at once. No row
// is ever lost: when the write is abandoned because the input ended, or every
// area has refused it, the runs go back to the end of MemoryRuns. Once every
// area has refused, no further spill is tried in this execution and the
// failure is returned (the spill pass records it, and the next AddRows
// returns it).
// REQUIRES: SpillLock held (a spill pass), RunListLock not held.
HRESULT SortEngine::SpillOneRun(bool* wroteRun) {
  *wroteRun = false;
  plat::Lock spillLock(SpillLock);
  if (SpillDisabled) return S_OK;
  RunList group;
  if (TakeSpillGroup(&group) != S_OK) return S_OK;

  // The workers go on sorting and merging while the group is written: its
  // runs are in no list, so no one else can reach them.
  SortRun* spilled = nullptr;
  HRESULT hr = HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);  // No area at all.
  for (size_t area = 0; area < ScratchAreaList.Areas.size(); ++area) {
    hr = WriteMergedRun(&group, GroupAfterMerge::kKept, &spilled);
    if (!FAILED(hr) || !SetLastAreaAside(&ScratchAreaList)) break;
  }
  uint64_t stored = 0;
  for (SortRun* r = group.Front(); r; r = r->Next) stored += r->StoredBytes();
  if (hr == S_OK) {
    while (SortRun* r = group.PopFront()) DiscardRun(r);
  }
  {
    plat::Lock listLock(RunListLock);
    if (hr == S_OK) {
      DiskRuns.PushBack(spilled);
      ++DiskRunCount;
      BytesInMemory -= stored;
      BytesSpilled += spilled->Bytes();
    } else {
      while (SortRun* r = group.PopFront()) MemoryRuns.PushBack(r);
    }
  }
  if (FAILED(hr)) {
    SpillDisabled = true;
    return hr;
  }
  *wroteRun = hr == S_OK;
  return S_OK;
}
