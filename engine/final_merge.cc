// The final merge: every run, in memory and on disk, to the row sink.
#include <algorithm>

#include "engine/run_merger.h"
#include "engine/sort_engine.h"
#include "platform/stream_copy.h"
#include "scratch/scratch_file.h"

// REQUIRES: SpillLock and RunListLock held, the input ended, no batch or
// merge in flight. Failures are recorded for the AddRows that ends the input;
// runs not drained stay in the lists until Destroy.
void SortEngine::FinalMerge() {
  if (!Output) {
    RecordFailure(E_UNEXPECTED);
    return;
  }
  HRESULT hr = Output->BeginRows();
  if (FAILED(hr)) {
    RecordFailure(hr);
    return;
  }
  HoldingEntry = {0, nullptr};
  if (EliminateDuplicates && RowWidth > 0) {
    HoldingRow = static_cast<uint8_t*>(plat::HeapAlloc(Heap, RowWidth));
    if (!HoldingRow) hr = E_OUTOFMEMORY;
  }
  if (SUCCEEDED(hr)) hr = MergeDiskRunsDown();
  if (SUCCEEDED(hr)) hr = MergeAllRuns();
  if (HoldingRow) plat::HeapFree(Heap, HoldingRow);
  HoldingRow = nullptr;
  Output->EndRows();
  RecordFailure(hr);
}

// Hands every row to Output in key order. Runs in memory come before runs on
// disk, each list from the front: rows with equal keys come out in that
// order of their runs. A run is released as soon as it is drained.
HRESULT SortEngine::MergeAllRuns() {
  for (SortRun* r = DiskRuns.Front(); r; r = r->Next) {
    const HRESULT hr = StartReadingRun(r);
    if (FAILED(hr)) return hr;
  }
  RunMerger merger(Order, std::min(RowWidth, kMostPrefetchBytes));
  HRESULT hr = merger.Start({&MemoryRuns, &DiskRuns});
  while (SUCCEEDED(hr) && !merger.Done()) {
    hr = EmitRow(merger.Top());
    SortRun* drained = nullptr;
    if (SUCCEEDED(hr)) hr = merger.Pop(&drained);
    if (!drained) continue;
    if (drained->OnDisk()) {
      FinishReadingRun(drained);
    } else {
      MemoryRuns.Remove(drained);
    }
    DiscardRun(drained);
  }
  return hr;
}

// The read block of a run on disk being merged.
uint32_t SortEngine::ReadBlockBytes() const {
  return ScratchReadBlockBytes(RowWidth, MergeReadBlockBytes);
}

// Sets up the reading of a run on disk.
HRESULT SortEngine::StartReadingRun(SortRun* run) {
  const HRESULT hr = StartScratchRead(run->Reader, ReadBlockBytes());
  if (FAILED(hr)) return hr;
  PeakReadersOpen = std::max(PeakReadersOpen, ++ReadersOpen);
  return S_OK;
}

// Takes a drained run on disk out of DiskRuns; the caller discards it, and
// so deletes its file.
void SortEngine::FinishReadingRun(SortRun* run) {
  DiskRuns.Remove(run);
  --DiskRunCount;
  --ReadersOpen;
}

// Hands the entry's row on unless duplicates are eliminated and its key
// equals that of the last row handed on. That row is copied into HoldingRow,
// so the comparison stays sound after its run (or its scratch block) is
// gone; its prefix settles most comparisons without reading either row.
HRESULT SortEngine::EmitRow(const SortEntry& entry) {
  if (!EliminateDuplicates) return Output->PutRow(entry.Row);
  if (HoldingEntry.Row && Order.Equal(entry, HoldingEntry)) return S_OK;
  const HRESULT hr = Output->PutRow(entry.Row);
  if (FAILED(hr)) return hr;
  plat::CopyBytes(HoldingRow, entry.Row, RowWidth);
  HoldingEntry = {entry.Prefix, HoldingRow};
  return S_OK;
}
