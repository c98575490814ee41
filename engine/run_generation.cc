// Runs in memory: sorted batches, merges of runs of one level, release.
#include <algorithm>
#include <new>

#include "engine/row_sort.h"
#include "engine/run_merger.h"
#include "engine/sort_engine.h"
#include "platform/stream_copy.h"

namespace {

// Runs merged at once in memory. A wide fan-in keeps the levels few (three
// for a gigabyte of 1 MB batches) and the final merge short of runs.
constexpr uint32_t kMemoryFanIn = 16;

// A merge whose rows come to at most this many bytes copies them, in key
// order, into new blocks when the free budget holds them, and frees the
// blocks of its inputs; a larger merge moves only entries. Every later
// reader of the run (larger merges, a spill, the final merge) then reads its
// rows front to back instead of one random address per row, which on a
// machine with costly TLB misses is what a merge of a gigabyte waits on. The
// copy reads rows at random only within its inputs, 16 batches that stay in
// a few huge pages. Larger merges do not copy: the copy would need memory
// as large as their inputs until they are freed, and their inputs are
// already read as a few sequential streams.
constexpr uint64_t kMostCopiedMergeBytes = 32u << 20;

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

// Blocks for the `rowCount` rows of a merge that copies them, chained, each
// with room for `blockRows` rows: cut like its inputs' blocks, a copy is
// handed blocks the heap has kept from freed batches and copies, and hands
// them on when it is freed itself, instead of faulting in fresh memory. The
// row bytes are counted in BytesInMemory. Null (nothing counted) when the
// merge is too large to copy, the free budget does not hold it or there is
// no memory.
RowBlock* SortEngine::TakeCopyBlocks(uint32_t rowCount, uint32_t width, uint32_t blockRows) {
  const uint64_t bytes = static_cast<uint64_t>(rowCount) * width;
  if (bytes > kMostCopiedMergeBytes) return nullptr;
  {
    plat::Lock lock(RunListLock);
    if (FreeBudget() < bytes) return nullptr;
    BytesInMemory += bytes;
  }
  RowBlock* first = nullptr;
  RowBlock** link = &first;
  for (uint32_t left = rowCount; left > 0;) {
    auto* block = static_cast<RowBlock*>(
        plat::HeapAlloc(Heap, sizeof(RowBlock) + static_cast<size_t>(blockRows) * width));
    if (!block) {
      FreeBlocks(first);
      plat::Lock lock(RunListLock);
      BytesInMemory -= bytes;
      return nullptr;
    }
    block->Next = nullptr;
    block->RowCount = std::min(left, blockRows);
    left -= block->RowCount;
    *link = block;
    link = &block->Next;
  }
  return first;
}

void SortEngine::FreeBlocks(RowBlock* block) {
  while (block) {
    RowBlock* next = block->Next;
    plat::HeapFree(Heap, block);
    block = next;
  }
}

// Merges one group into a new run, outside any lock: the group's runs belong
// to this worker alone. A small merge copies the rows into blocks of their
// own in key order (see kMostCopiedMergeBytes); otherwise only entries move
// and the merged run takes over the blocks of its inputs. True when a group
// was merged.
bool SortEngine::MergeMemoryRuns() {
  RunList group;
  if (PickMergeGroup(&group) < 2) return false;

  uint32_t totalRows = 0;
  uint32_t level = 0;
  for (SortRun* r = group.Front(); r; r = r->Next) {
    totalRows += r->RowCount;
    level = std::max(level, r->Level + 1);
  }
  const uint32_t width = group.Front()->RowWidth;
  const uint64_t rowBytes = static_cast<uint64_t>(totalRows) * width;
  SortEntry* entries = NewEntries(totalRows);
  auto* merged = new (std::nothrow) SortRun;
  const uint32_t blockRows = std::max(group.Front()->Blocks->RowCount, 1u);
  RowBlock* copy = entries && merged ? TakeCopyBlocks(totalRows, width, blockRows) : nullptr;
  RunMerger merger(Order, copy ? std::min(width, kMostPrefetchBytes) : 0);
  HRESULT hr = entries && merged ? merger.Start({&group}) : E_OUTOFMEMORY;
  SortEntry* out = entries;
  RowBlock* block = copy;
  uint8_t* row = copy ? copy->Rows() : nullptr;
  uint32_t room = copy ? copy->RowCount : 0;
  for (SortRun* drained = nullptr; SUCCEEDED(hr) && !merger.Done();) {
    *out = merger.Top();
    if (block) {
      if (room == 0) {
        block = block->Next;
        row = block->Rows();
        room = block->RowCount;
      }
      plat::CopyBytes(row, out->Row, width);
      out->Row = row;
      row += width;
      --room;
    }
    ++out;
    hr = merger.Pop(&drained);
  }
  if (FAILED(hr)) {
    // Merging is only an optimisation: give the runs back unmerged (the
    // merger read them through cursors of its own), in their order, at the
    // front where the small runs are.
    FreeEntries(entries);
    delete merged;
    FreeBlocks(copy);
    plat::Lock lock(RunListLock);
    if (copy) BytesInMemory -= rowBytes;
    while (SortRun* r = group.Back()) {
      group.Remove(r);
      MemoryRuns.PushFront(r);
    }
    --MergesInProgress;
    return false;
  }

  merged->RowWidth = width;
  merged->Level = level;
  if (copy) {
    merged->Blocks = copy;
    merged->LastBlock = block;
  }
  while (SortRun* r = group.PopFront()) {
    if (!copy) {
      (merged->LastBlock ? merged->LastBlock->Next : merged->Blocks) = r->Blocks;
      merged->LastBlock = r->LastBlock;
      r->Blocks = r->LastBlock = nullptr;  // They now belong to the merged run.
    }
    DiscardRun(r);
  }
  merged->Entries = merged->Cursor = entries;
  merged->RowCount = totalRows;

  plat::Lock lock(RunListLock);
  if (copy) BytesInMemory -= rowBytes;  // The inputs' rows, now freed.
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
  FreeEntries(run->Entries);
  run->Entries = run->Cursor = nullptr;
  FreeBlocks(run->Blocks);
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
