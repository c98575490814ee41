// The merges that write or read scratch files: spills of runs in memory to
// disk, merges of runs on disk into fewer, and the final merge of every run.
// SpillLock keeps them one at a time, and keeps the end of input from
// changing while a run is being written.
#pragma once

#include <atomic>
#include <cstdint>

#include "engine/run_store.h"
#include "engine/sort_entry.h"
#include "engine/sorted_row_sink.h"
#include "engine/worker_pool.h"
#include "platform/sync.h"
#include "platform/thread_annotations.h"
#include "scratch/scratch_areas.h"

class DiskMerges {
 public:
  // firstFailure: the engine's first failure; no merge of disk runs starts
  // after one.
  DiskMerges(RunStore& store, WorkerPool& pool, const RowOrder& order, ScratchAreaList& areas,
             const std::atomic<HRESULT>& firstFailure)
      : store_(store), pool_(pool), order_(order), areas_(areas), firstFailure_(firstFailure) {}
  DiskMerges(const DiskMerges&) = delete;
  DiskMerges& operator=(const DiskMerges&) = delete;

  plat::CriticalSection SpillLock ACQUIRED_BEFORE(store_.RunListLock);

  // Back to the start of an execution: spills allowed, no reader counted.
  // No engine thread may be running: the fields are reset without the lock.
  void Reset() NO_THREAD_SAFETY_ANALYSIS;

  // Spilling (spill.cc).
  HRESULT SpillOneRun(bool* wroteRun) REQUIRES(SpillLock) EXCLUDES(store_.RunListLock);

  // Merging runs on disk into fewer (disk_run_merge.cc), only while the
  // input has not ended.
  HRESULT MergeDiskRunsWhileInputArrives() REQUIRES(SpillLock) EXCLUDES(store_.RunListLock);
  // At least 2, so that every merge of disk runs leaves fewer of them.
  uint32_t MaxReadersAtOnce() const;

  // Every run to `output` (final_merge.cc). The caller holds SpillLock and
  // the store's RunListLock (checked at run time: the caller names it through
  // the store, not through this object); the input ended, no batch or merge
  // in flight. Runs not drained stay in the lists until Destroy.
  HRESULT FinalMerge(SortedRowSink* output, bool eliminateDuplicates) REQUIRES(SpillLock);

  // The preferred read extent of a run on disk being merged (see
  // kMergeReadExtentBytes); tests of the merges of disk runs raise it to have
  // fewer readers at once.
  uint32_t MergeReadExtentBytes = kMergeReadExtentBytes;
  // Whether the spill thread merges runs on disk while input arrives; off
  // only in tests of the merges before the final one.
  bool MergeDiskRunsEarly = true;

 private:
  friend struct SortEngineTestAccess;

  HRESULT TakeSpillGroup(RunList* group) REQUIRES(SpillLock) EXCLUDES(store_.RunListLock);
  uint32_t ReadExtentBytes() const;
  HRESULT MergeDiskRunsDown() REQUIRES(SpillLock, store_.RunListLock);
  HRESULT MergeDiskRunGroup(RunList* group) REQUIRES(SpillLock);
  // Merging runs into a new scratch file (merged_scratch_run.cc).
  enum class GroupAfterMerge { kKept, kDiscarded };
  HRESULT WriteMergedRun(RunList* group, GroupAfterMerge after, SortRun** merged)
      REQUIRES(SpillLock);
  HRESULT MergeAllRuns() REQUIRES(SpillLock, store_.RunListLock);
  HRESULT EmitRow(const SortEntry& entry);
  HRESULT StartReadingRun(SortRun* run) REQUIRES(SpillLock);
  void FinishReadingRun(SortRun* run) REQUIRES(SpillLock, store_.RunListLock);

  RunStore& store_;
  WorkerPool& pool_;
  const RowOrder& order_;
  ScratchAreaList& areas_;
  const std::atomic<HRESULT>& firstFailure_;

  // Set after every scratch area refused a spill: no more spills in this
  // execution.
  bool spillDisabled_ GUARDED_BY(SpillLock) = false;
  // Runs on disk being read (each holds two read buffers) by the final merge
  // and the merges of disk runs, and the most at any time in this execution.
  uint32_t readersOpen_ GUARDED_BY(SpillLock) = 0;
  uint32_t peakReadersOpen_ GUARDED_BY(SpillLock) = 0;
  // The final merge's sink, and its copy of the last row emitted and its
  // entry (duplicate elimination).
  SortedRowSink* output_ = nullptr;
  bool eliminateDuplicates_ = false;
  uint8_t* holdingRow_ = nullptr;
  SortEntry holdingEntry_{0, nullptr};
};
