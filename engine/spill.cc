// Spilling runs to scratch files.
#include "engine/engine_limits.h"
#include "engine/sort_engine.h"

// Writes the last (normally the largest) run of MemoryRuns to a new scratch
// file and moves it to DiskRuns. *wroteRun tells whether a run went to disk.
//
// A run smaller than SmallRunBytes is written only after SmallRunWaits waits
// for a merge to make a larger one, and only while batches being sorted or
// merges in progress could make one: with nothing in flight the wait cannot
// help, and with a small budget it would stall every spill (and the input
// waiting for it) for seconds. When no sorted run is in memory but batches
// are still being sorted or merged, it waits for them rather than give up:
// otherwise an input faster than sorting would run far past the budget, the
// spill finding nothing to write each time.
//
// An area that refuses the file (full, missing, failing) is set aside for the
// rest of the execution and the run goes to the next area at once. The run is
// never lost: when the write is abandoned because the input ended, or every
// area has refused it, it goes back to the end of MemoryRuns. Once every area
// has refused, no further spill is tried in this execution and the failure
// is returned (the spill pass records it, and the next AddRows returns it).
// REQUIRES: SpillLock held (a spill pass), RunListLock not held.
HRESULT SortEngine::SpillOneRun(bool* wroteRun) {
  *wroteRun = false;
  plat::Lock spillLock(SpillLock);
  if (SpillDisabled) return S_OK;

  SortRun* run = nullptr;
  uint32_t waitMs = 0;  // 0: look at once.
  for (uint32_t tries = 0; !run;) {
    if (waitMs > 0) plat::WaitForEvent(MergeDoneEvent, waitMs);
    if (StopRequested) return S_OK;
    plat::Lock listLock(RunListLock);
    if (MemoryRuns.Empty()) {
      if (PendingBatches.Empty() && MergesInProgress == 0) return S_OK;  // Nothing to come.
      waitMs = kPendingWorkWaitMs;
      continue;
    }
    SortRun* last = MemoryRuns.Back();
    const bool canGrow = MergesInProgress > 0 || !PendingBatches.Empty();
    if (tries < SmallRunWaits && last->Bytes() < SmallRunBytes && canGrow) {
      ++tries;
      waitMs = SmallRunWaitMs;
      continue;
    }
    MemoryRuns.Remove(last);
    run = last;
  }

  // The workers go on sorting and merging while the run is written: it is in
  // no list, so no one else can reach it.
  const uint64_t bytes = run->Bytes();
  ScratchReader* reader = nullptr;
  HRESULT hr = HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);  // No area at all.
  for (size_t area = 0; area < ScratchAreaList.Areas.size(); ++area) {
    hr = WriteRunToScratchFile(&ScratchAreaList, run->RowPointers, run->RowCount, run->RowWidth,
                               &InputEnded, &reader);
    if (!FAILED(hr) || !SetLastAreaAside(&ScratchAreaList)) break;
  }
  if (hr == S_OK) {
    ReleaseRun(run, true);
    run->Reader = reader;
    run->Cursor = &reader->CurrentRow;
  }
  {
    plat::Lock listLock(RunListLock);
    if (hr == S_OK) {
      DiskRuns.PushBack(run);
      ++DiskRunCount;
      BytesInMemory -= bytes;
      BytesSpilled += bytes;
    } else {
      MemoryRuns.PushBack(run);
    }
  }
  if (FAILED(hr)) {
    SpillDisabled = true;
    return hr;
  }
  *wroteRun = hr == S_OK;
  return S_OK;
}
