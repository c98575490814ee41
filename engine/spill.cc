// Spilling runs to scratch files.
//
// A spill merges the sorted runs in memory, largest first, into one new run
// on disk: as many as together hold at most ScratchFileBytes of rows (at
// least one run). The merge compares entries only and reads each row once,
// to copy it into the write buffer, so a spilled run is as large as memory
// allows at no more cost than writing runs one by one, and the input makes
// far fewer, larger runs on disk: fewer merges of disk runs later, none at
// all for inputs up to about F spills (MaxReadersAtOnce).
#include "engine/disk_merges.h"

// Moves the runs to spill from MemoryRuns to `group`, waiting for runs being
// sorted or merged as RunStore::TakeSpillGroup asks; S_FALSE when there is
// nothing to spill or the engine is being stopped.
HRESULT DiskMerges::TakeSpillGroup(RunList* group) {
  uint32_t waitMs = 0;  // 0: look at once.
  for (uint32_t tries = 0;;) {
    if (waitMs > 0) pool_.WaitForMergeDone(waitMs);
    if (pool_.StopRequested()) return S_FALSE;
    if (store_.TakeSpillGroup(group, &tries, &waitMs)) return group->Empty() ? S_FALSE : S_OK;
  }
}

// Writes the largest runs in memory, merged, to a new scratch file and
// moves the merged run to DiskRuns. *wroteRun tells whether a run went to
// disk.
//
// An area that refuses the file (full, missing, failing) is set aside for the
// rest of the execution and the group goes to the next area at once. No row
// is ever lost: when the write is abandoned because the input ended, or every
// area has refused it, the runs go back to the end of MemoryRuns. Once every
// area has refused, no further spill is tried in this execution and the
// failure is returned (the spill pass records it, and the next AddRows
// returns it).
HRESULT DiskMerges::SpillOneRun(bool* wroteRun) {
  *wroteRun = false;
  if (spillDisabled_) return S_OK;
  RunList group;
  if (TakeSpillGroup(&group) != S_OK) return S_OK;

  // The workers go on sorting and merging while the group is written: its
  // runs are in no list, so no one else can reach them.
  SortRun* spilled = nullptr;
  HRESULT hr = HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);  // No area at all.
  for (size_t area = 0; area < areas_.Areas.size(); ++area) {
    hr = WriteMergedRun(&group, GroupAfterMerge::kKept, &spilled);
    if (!FAILED(hr) || !SetLastAreaAside(&areas_)) break;
  }
  if (hr == S_OK) {
    store_.SpillDone(&group, spilled);
  } else {
    store_.ReturnSpillGroup(&group);
  }
  if (FAILED(hr)) {
    spillDisabled_ = true;
    return hr;
  }
  *wroteRun = hr == S_OK;
  return S_OK;
}
