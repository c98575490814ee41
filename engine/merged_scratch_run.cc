// Merging a group of runs into one new run in a scratch file: what a spill
// does with runs in memory and a merge of disk runs with runs on disk.
#include <algorithm>
#include <new>

#include "engine/disk_merges.h"
#include "engine/run_merger.h"
#include "scratch/scratch_run_writer.h"

namespace {

// How many rows a merge writes between two looks at StopRequested (and, for
// a spill, InputEnded).
constexpr uint32_t kStopCheckRows = 1u << 16;

}  // namespace

// Merges the rows of `group` into a new scratch file in the next area and
// makes *merged a run on disk (in no list) that reads it back. Ties go to the
// run nearer the front of the group.
//
// kKept (a spill of runs in memory): the merger reads the runs through
// cursors of its own, so they are as they were whatever happens; the write
// is given up with S_FALSE when the input ends or the engine is being
// stopped, so that the final merge takes the rows from memory.
// kDiscarded (a merge of runs on disk, already being read): each run is
// discarded, its file deleted, as soon as it is drained; stopping the engine
// gives up with E_UNEXPECTED, since no one sees the result.
// On failure or when given up, no file is left but those of the runs kept.
// The runs of `group` are in no other list.
HRESULT DiskMerges::WriteMergedRun(RunList* group, GroupAfterMerge after, SortRun** merged) {
  *merged = nullptr;
  const bool kept = after == GroupAfterMerge::kKept;
  uint64_t bytes = 0;
  uint32_t level = 0;
  for (SortRun* r = group->Front(); r; r = r->Next) {
    bytes += r->Bytes();
    level = std::max(level, r->Level + 1);
  }
  // The rows are read as they are written: those of runs in memory are
  // fetched ahead.
  const uint32_t rowWidth = store_.RowWidth;
  RunMerger merger(order_, std::min(rowWidth, kMostPrefetchBytes));
  HRESULT hr = merger.Start({group});
  ScratchRunWriter* writer = nullptr;
  if (hr == S_OK) hr = BeginScratchRun(&areas_, rowWidth, bytes, &writer);
  for (uint32_t rows = 0; hr == S_OK && !merger.Done(); ++rows) {
    if (rows % kStopCheckRows == 0 && (pool_.StopRequested() || (kept && store_.InputEnded))) {
      hr = kept ? S_FALSE : E_UNEXPECTED;
      break;
    }
    hr = AppendScratchRow(writer, merger.Top().Row);
    SortRun* drained = nullptr;
    if (SUCCEEDED(hr)) hr = merger.Pop(&drained);
    if (drained && !kept) {
      group->Remove(drained);
      store_.DiscardRun(drained);
    }
  }
  if (hr != S_OK) {
    AbandonScratchRun(writer);
    return hr;
  }
  ScratchReader* reader = nullptr;
  uint32_t rowCount = 0;
  hr = FinishScratchRun(writer, &rowCount, &reader);
  if (FAILED(hr)) return hr;
  auto* run = new (std::nothrow) SortRun;
  if (!run) {
    CloseScratchReader(reader);
    return E_OUTOFMEMORY;
  }
  run->Reader = reader;
  run->RowCount = rowCount;
  run->RowWidth = rowWidth;
  // A spilled run starts afresh at level 0; a merged one is a level up.
  run->Level = kept ? 0 : level;
  *merged = run;
  return S_OK;
}
