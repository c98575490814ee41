// Runs in memory: sorted batches, merge groups of equal-sized runs, release.
#include <new>

#include "engine/sort_engine.h"

namespace {

constexpr uint32_t kMaxMergeGroup = 10;
// A run of another size ends a group of at least this many runs; a smaller
// group starts afresh at that run.
constexpr uint32_t kMinGroupBeforeSizeChange = 4;

}  // namespace

// A Batch item. The batch belongs to this worker until it is in MemoryRuns.
void SortEngine::SortBatch(SortRun* batch) {
  if (batch->RowCount > 1) SortRows(batch, 0, static_cast<int32_t>(batch->RowCount - 1));
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

// Takes 2..10 consecutive runs of one row count, together no larger than
// ScratchFileBytes, out of MemoryRuns into `group` (in list order) and counts
// a merge in progress. 0 when there is nothing to merge or the input has
// ended.
uint32_t SortEngine::PickMergeGroup(RunList* group) {
  plat::Lock lock(RunListLock);
  if (InputEnded) return 0;

  SortRun* start = MemoryRuns.Front();
  uint32_t taken = 0;
  uint64_t total = 0;
  for (SortRun* r = start; r && taken < kMaxMergeGroup; r = r->Next) {
    if (r->RowCount == start->RowCount) {
      if (total + r->Bytes() > ScratchFileBytes) {
        // The overflowing run and the one taken before it are both left out.
        taken = taken > 0 ? taken - 1 : 0;
        break;
      }
      total += r->Bytes();
    } else {
      if (taken >= kMinGroupBeforeSizeChange) break;
      start = r;
      taken = 0;
      total = r->Bytes();
    }
    ++taken;
  }
  if (taken < 2) return 0;

  SortRun* r = start;
  for (uint32_t i = 0; i < taken; ++i) {
    SortRun* next = r->Next;
    MemoryRuns.Remove(r);
    group->PushBack(r);
    r = next;
  }
  ++MergesInProgress;
  return taken;
}

// Merges one group into a new run, outside any lock: the group's runs belong
// to this worker alone. True when a group was merged.
bool SortEngine::MergeMemoryRuns() {
  RunList group;
  const uint32_t count = PickMergeGroup(&group);
  if (count < 2) return false;

  uint32_t totalRows = 0;
  for (SortRun* r = group.Front(); r; r = r->Next) totalRows += r->RowCount;
  auto* pointers = new (std::nothrow) uint8_t*[totalRows];
  auto* merged = new (std::nothrow) SortRun;
  if (!pointers || !merged) {
    // Merging is only an optimisation: give the runs back unmerged, in their
    // order, at the front where the small runs are.
    delete[] pointers;
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
  merged->Engine = this;
  for (SortRun* r = group.Front(); r; r = r->Next) {
    (merged->LastBlock ? merged->LastBlock->Next : merged->Blocks) = r->Blocks;
    merged->LastBlock = r->LastBlock;
    r->Blocks = r->LastBlock = nullptr;
  }

  // Ties go to the run nearer the front of the group.
  uint8_t** out = pointers;
  while (!group.Empty()) {
    SortRun* best = group.Front();
    for (SortRun* r = best->Next; r; r = r->Next) {
      if (CompareRowKeys(*r->Cursor, *best->Cursor) < 0) best = r;
    }
    *out++ = *best->Cursor++;
    if (--best->RowCount == 0) {
      group.Remove(best);
      DiscardRun(best);  // Its blocks now belong to the merged run.
    }
  }
  merged->RowPointers = pointers;
  merged->Cursor = pointers;
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
  delete[] run->RowPointers;
  run->RowPointers = nullptr;
  run->Cursor = nullptr;
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
