// Runs in memory: sorted batches, merges of runs of one level, release.
#include <algorithm>
#include <new>

#include "engine/row_sort.h"
#include "engine/run_merger.h"
#include "engine/sort_engine.h"

namespace {

// Runs merged at once in memory. Each merge moves only entries, so every
// level costs one sequential pass over 16 bytes a row; a wide fan-in keeps
// the levels few (three for a gigabyte of 1 MB batches) and the final merge
// short of runs.
constexpr uint32_t kMemoryFanIn = 16;

}  // namespace

// A Batch item. The batch belongs to this worker until it is in MemoryRuns.
void SortEngine::SortBatch(SortRun* batch) {
  SortEntries(batch->Entries, batch->RowCount, Order);
  {
    plat::Lock lock(RunListLock);
    PendingBatches.Remove(batch);
    MemoryRuns.PushFront(batch);
    // A spill may be waiting for a run it can write.
    if (FreeBudget() < LowMemoryMark() && !InputEnded) plat::SetEvent(MergeDoneEvent);
  }
  const bool merged = MergeMemoryRuns();
  // InputEnded is read after this batch left PendingBatches: if the end of
  // input was taken meanwhile, the final merge may have been held back by
  // this batch and must be looked at again.
  if ((merged || InputEnded) && !PostWork(kMerge)) OnMerge();
}

// Takes kMemoryFanIn runs of the lowest level that has them out of
// MemoryRuns into `group` (in list order) and counts a merge in progress. A
// level whose runs together would pass ScratchFileBytes is merged as soon as
// the runs that fit are there, at least two; larger runs stay as they are
// (they are spilled or meet the final merge). 0 when there is nothing to
// merge or the input has ended.
uint32_t SortEngine::PickMergeGroup(RunList* group) {
  plat::Lock lock(RunListLock);
  if (InputEnded) return 0;

  for (uint32_t level = 0;; ++level) {
    uint32_t taken = 0;
    uint64_t total = 0;
    bool higher = false, full = false;
    for (SortRun* r = MemoryRuns.Front(); r; r = r->Next) {
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
      for (SortRun* r = MemoryRuns.Front(); r && group->Size() < taken;) {
        SortRun* next = r->Next;
        if (r->Level == level) {
          MemoryRuns.Remove(r);
          group->PushBack(r);
        }
        r = next;
      }
      ++MergesInProgress;
      return taken;
    }
    if (!higher) return 0;
  }
}

// Merges one group into a new run, outside any lock: the group's runs belong
// to this worker alone. Only entries move; the merged run takes over the
// blocks of its inputs. True when a group was merged.
bool SortEngine::MergeMemoryRuns() {
  RunList group;
  if (PickMergeGroup(&group) < 2) return false;

  uint32_t totalRows = 0;
  uint32_t level = 0;
  for (SortRun* r = group.Front(); r; r = r->Next) {
    totalRows += r->RowCount;
    level = std::max(level, r->Level + 1);
  }
  auto* entries = new (std::nothrow) SortEntry[totalRows];
  auto* merged = new (std::nothrow) SortRun;
  RunMerger merger(Order, 0);
  HRESULT hr = entries && merged ? merger.Start({&group}) : E_OUTOFMEMORY;
  SortEntry* out = entries;
  for (SortRun* drained = nullptr; SUCCEEDED(hr) && !merger.Done();) {
    *out++ = merger.Top();
    hr = merger.Pop(&drained);
  }
  if (FAILED(hr)) {
    // Merging is only an optimisation: give the runs back unmerged (the
    // merger read them through cursors of its own), in their order, at the
    // front where the small runs are.
    delete[] entries;
    delete merged;
    plat::Lock lock(RunListLock);
    while (SortRun* r = group.Back()) {
      group.Remove(r);
      MemoryRuns.PushFront(r);
    }
    --MergesInProgress;
    return false;
  }

  merged->RowWidth = group.Front()->RowWidth;
  merged->Level = level;
  while (SortRun* r = group.PopFront()) {
    (merged->LastBlock ? merged->LastBlock->Next : merged->Blocks) = r->Blocks;
    merged->LastBlock = r->LastBlock;
    r->Blocks = r->LastBlock = nullptr;
    DiscardRun(r);  // Its blocks now belong to the merged run.
  }
  merged->Entries = merged->Cursor = entries;
  merged->RowCount = totalRows;

  plat::Lock lock(RunListLock);
  SortRun* position = MemoryRuns.Front();
  while (position && position->RowCount < totalRows) position = position->Next;
  MemoryRuns.InsertBefore(position, merged);
  --MergesInProgress;
  // A spill may be waiting for a larger run.
  if (FreeBudget() < LowMemoryMark() && !InputEnded) plat::SetEvent(MergeDoneEvent);
  return true;
}

// Gives back the run's memory and, unless keepFile, its scratch file. The run
// record itself stays for the caller.
void SortEngine::ReleaseRun(SortRun* run, bool keepFile) {
  delete[] run->Entries;
  run->Entries = run->Cursor = nullptr;
  for (RowBlock* block = run->Blocks; block;) {
    RowBlock* next = block->Next;
    plat::HeapFree(Heap, block);
    block = next;
  }
  run->Blocks = run->LastBlock = nullptr;
  if (!keepFile && run->Reader) {
    CloseScratchReader(run->Reader);  // Closing deletes the file.
    run->Reader = nullptr;
  }
}

// Releases the run and frees its record. REQUIRES: the run is in no list.
void SortEngine::DiscardRun(SortRun* run) {
  ReleaseRun(run, false);
  delete run;
}
