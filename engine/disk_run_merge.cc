// Merging runs on disk into fewer, larger runs on disk.
//
// Every run on disk costs a file, and the final merge reads each through two
// read buffers of its own, so both the descriptors and the final merge's
// memory grow with the number of disk runs. Two merges keep it bounded:
//
//   while input arrives  after each spill pass, the spill thread merges the
//                        runs of the lowest level that has MaxReadersAtOnce
//                        (F) of them, once more than F runs are on disk. A
//                        merged run is one level up, so runs of one level
//                        are of about the same size, every row is rewritten
//                        once per level (log_F of the number of spills), and
//                        at most (F - 1) runs of each level stay on disk.
//                        Beyond 2F runs on disk, the F of the lowest levels
//                        are merged whether a level is full or not, so the
//                        files stay within 2F plus those of the merge in
//                        progress, however large the input.
//   before the final     while more than F runs are on disk, the runs of the
//   merge                lowest levels are merged, just enough of them at
//                        once (at most F) that exactly F are left after the
//                        first merge.
//
// Runs in memory take no part: they are already within the budget and still
// meet the final merge first.
//
// A merged run is one file, bounded by its 32-bit row count rather than by
// ScratchFileBytes. A scratch file lives only as long as its descriptor (its
// name goes when it is opened, so nothing outlives the process), and files of
// at most ScratchFileBytes would take one descriptor per ScratchFileBytes of
// input: the two bounds cannot both hold. Merges start only once more than F
// runs are on disk; until then every file holds one spilled run, which the
// in-memory merges keep within ScratchFileBytes (unless one input buffer
// alone is larger).
//
// These merges keep every row, equal keys included: duplicates are dropped
// only by the final merge, which sees equal keys one after another whatever
// run they come from. Ties between runs on disk no longer follow the order the
// runs were written in; rows with equal keys have no defined order anyway.
//
// The rows rewritten here are not counted in BytesSpilled, which counts only
// the row bytes moved out of memory.
#include <algorithm>

#include "engine/disk_merges.h"

namespace {

// The read buffers of a merge of disk runs stay within a quarter of the
// budget, but may always take this much.
constexpr uint32_t kSmallestReaderAllowance = 16u << 20;

}  // namespace

uint32_t DiskMerges::MaxReadersAtOnce() const {
  const uint32_t allowance = std::max(store_.RamBudget / 4, kSmallestReaderAllowance);
  // Two read buffers per run being read.
  const uint32_t readerBytes = 2 * ReadExtentBytes();
  return std::max(allowance / readerBytes, 2u);
}

// A failure fails the sort (the group's rows are gone with it); after one,
// nothing more is merged.
HRESULT DiskMerges::MergeDiskRunsWhileInputArrives() {
  const uint32_t limit = MaxReadersAtOnce();
  while (MergeDiskRunsEarly && !pool_.StopRequested() && SUCCEEDED(firstFailure_.load())) {
    RunList group;
    store_.TakeEarlyDiskRunGroup(limit, &group);
    if (group.Empty()) return S_OK;
    const HRESULT hr = MergeDiskRunGroup(&group);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

// Within the final merge, no run on disk being read yet. A failure leaves no
// scratch file of the group behind.
HRESULT DiskMerges::MergeDiskRunsDown() {
  const uint32_t limit = MaxReadersAtOnce();
  RunList& diskRuns = store_.DiskRuns();
  while (diskRuns.Size() > limit) {
    RunList group;
    store_.TakeDiskRunGroup(0, std::min(limit, diskRuns.Size() - limit + 1), &group);
    if (group.Size() < 2) {
      store_.ReturnDiskRuns(&group);
      return S_OK;  // The final merge reads more runs at once instead.
    }
    const HRESULT hr = MergeDiskRunGroup(&group);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

// Merges the runs of `group` into one new run at the back of DiskRuns. Each
// run is discarded, and its file deleted, as soon as it is drained; on
// failure, or when the engine is being stopped, the rest of the
// group and the half-written file go too.
// SpillLock keeps ReadersOpen and makes it one merge of disk runs at a time.
// The runs of `group` are not being read and are in no other list.
HRESULT DiskMerges::MergeDiskRunGroup(RunList* group) {
  const uint32_t readersBefore = readersOpen_;
  HRESULT hr = S_OK;
  for (SortRun* r = group->Front(); r && SUCCEEDED(hr); r = r->Next) hr = StartReadingRun(r);
  SortRun* merged = nullptr;
  if (SUCCEEDED(hr)) hr = WriteMergedRun(group, GroupAfterMerge::kDiscarded, &merged);
  readersOpen_ = readersBefore;
  while (SortRun* run = group->PopFront()) store_.DiscardRun(run);
  if (FAILED(hr)) return hr;
  store_.AddDiskRun(merged);
  return S_OK;
}
