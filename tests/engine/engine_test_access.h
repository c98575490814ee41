// Reaches the engine's internal operations from unit tests.
#pragma once

#include <thread>

#include "engine/sort_engine.h"

struct SortEngineTestAccess {
  // A spill writes runs under `bytes` after `waits` waits of `ms` each.
  static void SetSmallRunWait(SortEngine* e, uint32_t bytes, uint32_t waits, uint32_t ms) {
    e->Store.Spill = {bytes, waits, ms};
  }
  static uint64_t BytesSpilled(SortEngine* e) { return e->Costs().BytesSpilled; }
  static uint64_t BytesInMemory(SortEngine* e) { return e->Store.BytesInMemory(); }
  static uint32_t MemoryRunCount(SortEngine* e) {
    plat::Lock lock(e->Store.RunListLock);
    return e->Store.memoryRuns_.Size();
  }
  static uint32_t DiskRunCount(SortEngine* e) { return e->Store.DiskRunCount(); }
  static void SetMergeDiskRunsEarly(SortEngine* e, bool early) {
    e->Merges.MergeDiskRunsEarly = early;
  }
  static uint32_t MaxReadersAtOnce(SortEngine* e) { return e->Merges.MaxReadersAtOnce(); }
  static void SetMergeReadExtentBytes(SortEngine* e, uint32_t bytes) {
    e->Merges.MergeReadExtentBytes = bytes;
  }
  static uint32_t PeakReadersOpen(SortEngine* e) {
    plat::Lock spillLock(e->Merges.SpillLock);
    return e->Merges.peakReadersOpen_;
  }
  // Waits for a spill in progress, then lets no other spill start.
  static void StopSpilling(SortEngine* e) {
    plat::Lock spillLock(e->Merges.SpillLock);
    e->Merges.spillDisabled_ = true;
  }

  static void WaitUntilSorted(SortEngine* e) {
    for (;; std::this_thread::yield()) {
      plat::Lock lock(e->Store.RunListLock);
      if (e->Store.pendingBatches_.Empty() && e->Store.mergesInProgress_ == 0) return;
    }
  }
  // A spill pass writing every run in memory; with the input ended it is abandoned.
  static HRESULT SpillEverything(SortEngine* e, bool inputEnded = false) {
    WaitUntilSorted(e);
    plat::Lock spillLock(e->Merges.SpillLock);
    auto setInputEnded = [e](bool ended) {
      plat::Lock lock(e->Store.RunListLock);
      e->Store.InputEnded = ended;
    };
    setInputEnded(inputEnded);
    HRESULT hr;
    for (bool wrote = true; wrote;) {
      if (FAILED(hr = e->Merges.SpillOneRun(&wrote))) break;
    }
    setInputEnded(false);
    return hr;
  }
};
