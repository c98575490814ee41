// Runs in memory: sorted batches, and merges of runs of one level.
#include <algorithm>
#include <new>

#include "engine/row_sort.h"
#include "engine/run_merger.h"
#include "engine/sort_engine.h"
#include "platform/stream_copy.h"

// A Batch item. The batch belongs to this worker until it is in MemoryRuns.
void SortEngine::SortBatch(SortRun* batch) {
  SortEntries(batch->Entries, batch->RowCount, Order);
  {
    plat::Lock lock(Store.RunListLock);
    Store.AddSortedBatch(batch);
    // A spill may be waiting for a run it can write.
    if (Store.SpillWanted()) Pool.SignalMergeDone();
  }
  const bool merged = MergeMemoryRuns();
  {
    plat::Lock lock(Store.RunListLock);
    Store.BatchMergeLooked();
    if (Store.SpillWanted()) Pool.SignalMergeDone();
  }
  // InputEnded is read after this batch left PendingBatches: if the end of
  // input was taken meanwhile, the final merge may have been held back by
  // this batch and must be looked at again.
  if ((merged || Store.InputEnded) && !Pool.PostWork(WorkerPool::kMerge)) OnMerge();
}

// Merges one group into a new run, outside any lock: the group's runs belong
// to this worker alone. A small merge copies the rows into chunks of their
// own in key order (see RunStore::TakeCopyChunks); otherwise only entries move
// and the merged run takes over the chunks of its inputs. True when a group
// was merged.
bool SortEngine::MergeMemoryRuns() {
  RunList group;
  if (Store.PickMergeGroup(&group) < 2) return false;

  uint32_t totalRows = 0;
  uint32_t level = 0;
  for (SortRun* r = group.Front(); r; r = r->Next) {
    totalRows += r->RowCount;
    level = std::max(level, r->Level + 1);
  }
  const uint32_t width = group.Front()->RowWidth;
  const uint64_t rowBytes = static_cast<uint64_t>(totalRows) * width;
  SortEntry* entries = Store.NewEntries(totalRows);
  auto* merged = new (std::nothrow) SortRun;
  RowChunk* copy = entries && merged ? Store.TakeCopyChunks(group, totalRows, width) : nullptr;
  RunMerger merger(Order, copy ? std::min(width, kMostPrefetchBytes) : 0);
  HRESULT hr = entries && merged ? merger.Start({&group}) : E_OUTOFMEMORY;
  SortEntry* out = entries;
  RowChunk* chunk = copy;
  uint8_t* row = copy ? copy->Rows() : nullptr;
  uint32_t room = copy ? copy->RowCount : 0;
  for (SortRun* drained = nullptr; SUCCEEDED(hr) && !merger.Done();) {
    *out = merger.Top();
    if (chunk) {
      if (room == 0) {
        chunk = chunk->Next;
        row = chunk->Rows();
        room = chunk->RowCount;
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
    Store.FreeEntries(entries);
    delete merged;
    Store.ReturnUnmerged(&group, copy, rowBytes);
    return false;
  }

  merged->RowWidth = width;
  merged->Level = level;
  if (copy) {
    merged->Chunks = copy;
    merged->LastChunk = chunk;
  }
  while (SortRun* r = group.PopFront()) {
    if (!copy) {
      (merged->LastChunk ? merged->LastChunk->Next : merged->Chunks) = r->Chunks;
      merged->LastChunk = r->LastChunk;
      r->Chunks = r->LastChunk = nullptr;  // They now belong to the merged run.
    }
    Store.DiscardRun(r);
  }
  merged->Entries = merged->Cursor = entries;
  merged->RowCount = totalRows;

  plat::Lock lock(Store.RunListLock);
  Store.AddMergedRun(merged, copy ? rowBytes : 0);
  // A spill may be waiting for a larger run.
  if (Store.SpillWanted()) Pool.SignalMergeDone();
  return true;
}
