// Reaches the engine's internal operations from unit tests.
#pragma once

#include <thread>
#include <vector>

#include "engine/sort_engine.h"

struct SortEngineTestAccess {
  // Row counts of the group PickMergeGroup takes from runs of these row
  // counts and levels (front to back). No engine thread may be running.
  static std::vector<uint32_t> PickMergeGroup(
      SortEngine* e, const std::vector<uint32_t>& counts, uint32_t rowWidth = 100,
      const std::vector<uint32_t>& levels = {}) NO_THREAD_SAFETY_ANALYSIS {
    RunStore& store = e->Store;
    store.ScratchFileBytes = e->ScratchFileBytes;  // As Create hands it on.
    for (size_t i = 0; i < counts.size(); ++i) {
      store.memoryRuns_.PushBack(new SortRun{
          .RowCount = counts[i], .RowWidth = rowWidth, .Level = i < levels.size() ? levels[i] : 0});
    }
    RunList group;
    std::vector<uint32_t> taken(store.PickMergeGroup(&group), 0);
    for (uint32_t& count : taken) count = group.Front()->RowCount, delete group.PopFront();
    store.mergesInProgress_ = 0;
    while (SortRun* run = store.memoryRuns_.PopFront()) delete run;
    return taken;
  }

  static void SetInputEnded(SortEngine* e, bool ended) {
    plat::Lock lock(e->Store.RunListLock);
    e->Store.InputEnded = ended;
  }
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
  // Leaves runs on disk for the final merge to merge down (on by default).
  static void SetMergeDiskRunsEarly(SortEngine* e, bool early) {
    e->Merges.MergeDiskRunsEarly = early;
  }
  static uint32_t MaxReadersAtOnce(SortEngine* e) { return e->Merges.MaxReadersAtOnce(); }
  static void SetMergeReadExtentBytes(SortEngine* e, uint32_t bytes) {
    e->Merges.MergeReadExtentBytes = bytes;
  }
  // The most disk runs read at once in this execution (until Destroy).
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
  // A spill pass that writes every run in memory, with the input ended (the
  // spill is then abandoned) or not. Runs of distinct sizes: no merge starts.
  static HRESULT SpillEverything(SortEngine* e, bool inputEnded = false) {
    WaitUntilSorted(e);
    plat::Lock spillLock(e->Merges.SpillLock);
    SetInputEnded(e, inputEnded);
    HRESULT hr;
    for (bool wrote = true; wrote;) {
      if (FAILED(hr = e->Merges.SpillOneRun(&wrote))) break;
    }
    SetInputEnded(e, false);
    return hr;
  }
  // One spill, as a spill pass makes it, once every batch is sorted.
  static HRESULT SpillOneRun(SortEngine* e) {
    WaitUntilSorted(e);
    plat::Lock spillLock(e->Merges.SpillLock);
    bool wrote = false;
    return e->Merges.SpillOneRun(&wrote);
  }
};
