// The final merge: every run, in memory and on disk, to the row sink.
#include <algorithm>

#include "engine/disk_merges.h"
#include "engine/run_merger.h"
#include "platform/stream_copy.h"
#include "scratch/scratch_file.h"

// The failure is for the AddRows that ends the input.
HRESULT DiskMerges::FinalMerge(SortedRowSink* output, bool eliminateDuplicates) {
  store_.RunListLock.AssertHeld();
  if (!output) return E_UNEXPECTED;
  HRESULT hr = output->BeginRows();
  if (FAILED(hr)) return hr;
  output_ = output;
  eliminateDuplicates_ = eliminateDuplicates;
  holdingEntry_ = {0, nullptr};
  const uint32_t rowWidth = store_.RowWidth;
  if (eliminateDuplicates && rowWidth > 0) {
    holdingRow_ = static_cast<uint8_t*>(store_.NewBytes(rowWidth));
    if (!holdingRow_) hr = E_OUTOFMEMORY;
  }
  if (SUCCEEDED(hr)) hr = MergeDiskRunsDown();
  if (SUCCEEDED(hr)) hr = MergeAllRuns();
  if (holdingRow_) store_.FreeBytes(holdingRow_);
  holdingRow_ = nullptr;
  output->EndRows();
  output_ = nullptr;
  return hr;
}

// Hands every row to Output in key order. Runs in memory come before runs on
// disk, each list from the front: rows with equal keys come out in that
// order of their runs. A run is released as soon as it is drained.
HRESULT DiskMerges::MergeAllRuns() {
  RunList& memoryRuns = store_.MemoryRuns();
  RunList& diskRuns = store_.DiskRuns();
  for (SortRun* r = diskRuns.Front(); r; r = r->Next) {
    const HRESULT hr = StartReadingRun(r);
    if (FAILED(hr)) return hr;
  }
  RunMerger merger(order_, std::min(store_.RowWidth, kMostPrefetchBytes));
  HRESULT hr = merger.Start({&memoryRuns, &diskRuns});
  while (SUCCEEDED(hr) && !merger.Done()) {
    hr = EmitRow(merger.Top());
    SortRun* drained = nullptr;
    if (SUCCEEDED(hr)) hr = merger.Pop(&drained);
    if (!drained) continue;
    if (drained->OnDisk()) {
      FinishReadingRun(drained);
    } else {
      memoryRuns.Remove(drained);
    }
    store_.DiscardRun(drained);
  }
  return hr;
}

// The read extent of a run on disk being merged.
uint32_t DiskMerges::ReadExtentBytes() const {
  return ScratchReadExtentBytes(store_.RowWidth, MergeReadExtentBytes);
}

// Sets up the reading of a run on disk.
HRESULT DiskMerges::StartReadingRun(SortRun* run) {
  const HRESULT hr = StartScratchRead(run->Reader, ReadExtentBytes());
  if (FAILED(hr)) return hr;
  peakReadersOpen_ = std::max(peakReadersOpen_, ++readersOpen_);
  return S_OK;
}

void DiskMerges::Reset() {
  spillDisabled_ = false;
  readersOpen_ = peakReadersOpen_ = 0;
}

// Takes a drained run on disk out of DiskRuns; the caller discards it, and
// so deletes its file.
void DiskMerges::FinishReadingRun(SortRun* run) {
  store_.RemoveDiskRun(run);
  --readersOpen_;
}

// Hands the entry's row on unless duplicates are eliminated and its key
// equals that of the last row handed on. That row is copied into HoldingRow,
// so the comparison stays sound after its run (or its scratch extent) is
// gone; its prefix settles most comparisons without reading either row.
HRESULT DiskMerges::EmitRow(const SortEntry& entry) {
  if (!eliminateDuplicates_) return output_->PutRow(entry.Row);
  if (holdingEntry_.Row && order_.Equal(entry, holdingEntry_)) return S_OK;
  const HRESULT hr = output_->PutRow(entry.Row);
  if (FAILED(hr)) return hr;
  plat::CopyBytes(holdingRow_, entry.Row, store_.RowWidth);
  holdingEntry_ = {entry.Prefix, holdingRow_};
  return S_OK;
}
