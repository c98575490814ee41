// What the pool's threads and the input thread do between the parts: the end
// of input, the Merge items that lead to the final merge, the spill pass,
// and the input thread's wait for room.
#include "engine/sort_engine.h"

// A Merge item: merge what can be merged and, once the input has ended and
// nothing is left in flight, run the final merge. A follow-up item that
// cannot be posted is handled here instead, so that no check is ever lost.
void SortEngine::OnMerge() {
  for (;;) {
    const bool merged = MergeMemoryRuns();
    if (Store.InputEnded) {
      plat::Lock spillLock(Merges.SpillLock);
      plat::Lock listLock(Store.RunListLock);
      if (Store.ReadyForFinalMerge()) {
        RecordFailure(Merges.FinalMerge(Output, EliminateDuplicates));
        Store.InputEnded = false;
        Pool.SignalSortDone();
      }
    }
    if (!merged || Pool.PostWork(WorkerPool::kMerge)) return;
  }
}

void SortEngine::OnEndOfInput() {
  {
    plat::Lock spillLock(Merges.SpillLock);
    plat::Lock listLock(Store.RunListLock);
    Store.InputEnded = true;
  }
  if (!Pool.PostWork(WorkerPool::kMerge)) OnMerge();
}

// Spills runs until the free budget is back at the low-memory mark, the input
// has ended, or nothing more can be written (no run in memory and none on
// its way, or a spill failed): a target that cannot be reached still ends
// the pass, and every pass ends by setting MemoryFreedEvent, so MakeRoom
// never waits for ever. Then, with the input thread released, merges runs on
// disk so that their number stays bounded while input arrives.
void SortEngine::RunSpillPass() {
  {
    plat::Lock spillLock(Merges.SpillLock);
    for (;;) {
      bool wroteRun = false;
      RecordFailure(Merges.SpillOneRun(&wroteRun));
      if (!wroteRun || Store.FreeBudget() >= Store.LowMemoryMark() || Store.InputEnded) break;
    }
    Pool.ClearEarlyWake();
  }
  Pool.SignalMemoryFreed();
  plat::Lock spillLock(Merges.SpillLock);
  if (!Store.InputEnded) RecordFailure(Merges.MergeDiskRunsWhileInputArrives());
}

HRESULT SortEngine::MakeRoom(uint64_t stored) {
  if (stored > Store.FreeBudget()) {
    if (!Pool.WakeSpillAndWait()) return plat::HResultFromLastError();
    // A pass that failed for good (every scratch area refused) leaves no way
    // to make room: the rows are refused rather than held past the budget.
    const HRESULT failure = FirstFailure.load();
    if (FAILED(failure)) return failure;
    // Otherwise the budget is not looked at again: a spill that could not
    // free enough must not stop the input, so the batch is taken in any case.
  } else if (Store.SpillWanted() && Store.DiskRunCount() > 0) {
    // Early wake: spilling starts while the input goes on.
    Pool.WakeSpillEarly();
  }
  return S_OK;
}
