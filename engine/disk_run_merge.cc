// Merging runs on disk down to the number the final merge may read at once.
//
// The final merge reads every run on disk through two block buffers of its
// own, so its memory grows with the number of disk runs. While there are more
// than MaxReadersAtOnce of them, the runs at the front of DiskRuns are merged,
// MaxReadersAtOnce at a time, into one new scratch file whose run goes to the
// back of DiskRuns. Runs in memory take no part: they are already within the
// budget and still meet the final merge first.
//
// These merges keep every row, equal keys included: duplicates are dropped
// only by the final merge, which sees equal keys one after another whatever
// run they come from. Ties between runs on disk no longer follow the order the
// runs were written in; rows with equal keys have no defined order anyway.
//
// The rows rewritten here are not counted in BytesSpilled, which counts only
// the row bytes moved out of memory.
#include <algorithm>
#include <new>

#include "engine/sort_engine.h"
#include "scratch/scratch_run_writer.h"

namespace {

// Two block buffers per run being read.
constexpr uint32_t kReaderBytes = 2 * ScratchBlockSize;
// The read buffers of the final merge stay within a quarter of the budget,
// but may always take this much.
constexpr uint32_t kSmallestReaderAllowance = 16u << 20;

}  // namespace

// At least 2, so that every merge of disk runs leaves fewer of them.
uint32_t SortEngine::MaxReadersAtOnce() const {
  const uint32_t allowance = std::max(RamBudget / 4, kSmallestReaderAllowance);
  return std::max(allowance / kReaderBytes, 2u);
}

// REQUIRES: as FinalMerge, no run on disk being read yet. A failure leaves
// the runs not yet drained in DiskRuns, for Destroy to release.
HRESULT SortEngine::MergeDiskRunsDown() {
  const uint32_t limit = MaxReadersAtOnce();
  while (DiskRuns.Size() > limit) {
    // A merged run's row count must fit its 32-bit count.
    uint32_t count = 0;
    uint64_t rows = 0;
    for (SortRun* r = DiskRuns.Front(); r && count < limit; r = r->Next) {
      if (rows + r->RowCount > UINT32_MAX) break;
      rows += r->RowCount;
      ++count;
    }
    if (count < 2) return S_OK;  // The final merge reads more runs at once instead.
    const HRESULT hr = MergeDiskRunGroup(count);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

// Merges the first `count` runs of DiskRuns into one new run at its back.
// Each input run is released, and its file deleted, as soon as it is
// drained; on failure the half-written file is abandoned.
// REQUIRES: as FinalMerge; the first `count` runs are not being read.
HRESULT SortEngine::MergeDiskRunGroup(uint32_t count) {
  uint64_t bytes = 0;
  SortRun* run = DiskRuns.Front();
  for (uint32_t i = 0; i < count; ++i, run = run->Next) {
    const HRESULT hr = StartReadingRun(run);
    if (FAILED(hr)) return hr;
    bytes += run->Bytes();
  }
  auto* merged = new (std::nothrow) SortRun;
  if (!merged) return E_OUTOFMEMORY;
  ScratchRunWriter* writer = nullptr;
  HRESULT hr = BeginScratchRun(&ScratchAreaList, RowWidth, bytes, &writer);
  // The group is always the first `count` runs of DiskRuns: a drained run
  // leaves the list at once. Ties go to the run nearer the front.
  while (SUCCEEDED(hr) && count > 0) {
    SortRun* best = DiskRuns.Front();
    SortRun* r = best->Next;
    for (uint32_t i = 1; i < count; ++i, r = r->Next) {
      if (CompareRowKeys(*r->Cursor, *best->Cursor) < 0) best = r;
    }
    hr = AppendScratchRow(writer, *best->Cursor);
    if (SUCCEEDED(hr)) hr = AdvanceRun(best);
    if (SUCCEEDED(hr) && --best->RowCount == 0) {
      FinishReadingRun(best);
      DiscardRun(best);
      --count;
    }
  }
  ScratchReader* reader = nullptr;
  uint32_t rowCount = 0;
  if (SUCCEEDED(hr)) {
    hr = FinishScratchRun(writer, &rowCount, &reader);
  } else {
    AbandonScratchRun(writer);
  }
  if (FAILED(hr)) {
    delete merged;
    return hr;
  }
  merged->RowCount = rowCount;
  merged->RowWidth = RowWidth;
  merged->Engine = this;
  merged->Reader = reader;
  merged->Cursor = &reader->CurrentRow;
  DiskRuns.PushBack(merged);
  ++DiskRunCount;
  return S_OK;
}
