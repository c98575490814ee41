// The engine's runs and what they cost: the three run lists, RunListLock that
// guards them, the private heap that holds rows and entry arrays, and the
// RAM budget they are counted against. Also the choices of which runs go
// together into a merge in memory, a spill or a merge of runs on disk, since
// each is a move between lists. The store starts no thread and waits on
// nothing but RunListLock: the engine decides when to sort, merge or spill.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>

#include "engine/sort_entry.h"
#include "engine/sort_run.h"
#include "platform/com_types.h"
#include "platform/heap.h"
#include "platform/sync.h"
#include "platform/thread_annotations.h"

class RunStore {
 public:
  RunStore() = default;
  RunStore(const RunStore&) = delete;
  RunStore& operator=(const RunStore&) = delete;

  // The budget, set by the engine before Create.
  uint32_t RamBudget = 0;         // Row bytes (and their entries) to keep in memory.
  uint32_t ScratchFileBytes = 0;  // Largest in-memory merged run / spill.
  // Fixed by the first AddRows that carries rows; read by the workers only
  // after a work item posted later.
  uint32_t RowWidth = 0;
  // Changed only with SpillLock and RunListLock held; read anywhere.
  std::atomic<bool> InputEnded{false};
  plat::CriticalSection RunListLock;  // Entered after SpillLock, never before.

  // The private heap. On failure, the last error says why.
  bool Create();
  bool InService() const { return heap_ != nullptr; }
  // Discards every run, clears the lists' counts and destroys the heap;
  // the costs stay readable until the next Create. No engine thread may be
  // left: the lists are cleared without the lock.
  void Destroy() NO_THREAD_SAFETY_ANALYSIS;

  uint64_t FreeBudget() const;
  uint64_t LowMemoryMark() const;
  // Memory is short and the input goes on: a spill is due, or may be
  // waiting for a run to be sorted or merged into memory.
  bool SpillWanted() const { return FreeBudget() < LowMemoryMark() && !InputEnded; }
  uint64_t BytesInMemory() const { return bytesInMemory_.load(); }
  uint32_t DiskRunCount() const { return diskRunCount_.load(); }
  // What the sort since Create has cost. Takes RunListLock.
  struct Costs {
    uint64_t BytesSpilled = 0;       // Row bytes of spilled runs (merges on disk not counted).
    uint64_t PeakBytesInMemory = 0;  // The most BytesInMemory has been.
    uint32_t ScratchFilesWritten = 0;
    uint32_t RunsGenerated = 0;  // Sorted batches: the runs before any merge.
  };
  Costs ReadCosts();
  SortEntry* NewEntries(uint32_t count);
  void FreeEntries(SortEntry* entries);
  void* NewBytes(size_t bytes) { return plat::HeapAlloc(heap_, bytes); }
  void FreeBytes(void* bytes) { plat::HeapFree(heap_, bytes); }

  // Batches. CopyBatch takes the rows in whatever the free budget says:
  // making room first is the engine's part.
  HRESULT CopyBatch(const uint8_t* rowData, uint32_t rowCount, uint32_t rowWidth,
                    const RowOrder& order, SortRun** batch) EXCLUDES(RunListLock);
  // A batch no worker has seen goes back out.
  void TakeBackBatch(SortRun* batch) EXCLUDES(RunListLock);
  // `batch` sorted and in PendingBatches. The batch counts as a merge in progress until
  // BatchMergeLooked: until the merge it may start has taken its group, nothing may take the store
  // for settled (the final merge, a spill waiting for larger runs, tests).
  void AddSortedBatch(SortRun* batch) REQUIRES(RunListLock);
  void BatchMergeLooked() REQUIRES(RunListLock) { --mergesInProgress_; }

  // Merges in memory.
  uint32_t PickMergeGroup(RunList* group) EXCLUDES(RunListLock);
  RowChunk* TakeCopyChunks(const RunList& group, uint32_t rowCount, uint32_t width)
      EXCLUDES(RunListLock);
  void FreeChunks(RowChunk* chunk);
  // A merge given up: the group goes back unmerged, the copy's chunks freed.
  void ReturnUnmerged(RunList* group, RowChunk* copy, uint64_t copyBytes) EXCLUDES(RunListLock);
  // The merge's inputs discarded.
  void AddMergedRun(SortRun* merged, uint64_t copiedBytes) REQUIRES(RunListLock);

  // Spills.
  struct SpillTuning {
    // A group smaller than SmallRunBytes is spilled only after SmallRunWaits
    // waits of SmallRunWaitMs for a merge to make it larger. Every run on
    // disk costs the final merge a reader (two read extents) and a file, and
    // a merge of disk runs if there are too many of them: waiting a little
    // for the workers, whose in-memory merges finish in well under a second,
    // makes spilled runs of about ScratchFileBytes instead of single
    // batches. 20 MiB is twenty 1 MB batches, below which a run on disk is
    // not worth its reader; 5 x 500 ms bounds the wait at 2.5 s, after which
    // the input, held at the budget meanwhile, must go on.
    uint32_t SmallRunBytes = 20u << 20;
    uint32_t SmallRunWaits = 5;
    uint32_t SmallRunWaitMs = 500;
  } Spill;
  // One look for the runs to spill. True when decided: the
  // group is filled, or left empty when there is nothing to spill. False:
  // look again after waiting *waitMs. *tries counts the waits for larger
  // runs; 0 before the first look.
  bool TakeSpillGroup(RunList* group, uint32_t* tries, uint32_t* waitMs) EXCLUDES(RunListLock);
  // The spilled group is discarded and `spilled` goes to DiskRuns.
  void SpillDone(RunList* group, SortRun* spilled) EXCLUDES(RunListLock);
  void ReturnSpillGroup(RunList* group) EXCLUDES(RunListLock);

  // Runs on disk.
  // A group for a merge while input arrives, of at most `limit` runs; empty
  // when none is due.
  void TakeEarlyDiskRunGroup(uint32_t limit, RunList* group) EXCLUDES(RunListLock);
  void TakeDiskRunGroup(uint32_t level, uint32_t most, RunList* group) REQUIRES(RunListLock);
  // No run of `group` read from yet.
  void ReturnDiskRuns(RunList* group) REQUIRES(RunListLock);
  // Enters RunListLock itself, and is also reached with it held (a merge of
  // disk runs within the final merge): the lock is re-entrant, so this
  // excludes nothing.
  void AddDiskRun(SortRun* run);

  bool ReadyForFinalMerge() const REQUIRES(RunListLock) {
    return InputEnded && mergesInProgress_ == 0 && pendingBatches_.Empty();
  }
  // For the final merge.
  RunList& MemoryRuns() REQUIRES(RunListLock) { return memoryRuns_; }
  RunList& DiskRuns() REQUIRES(RunListLock) { return diskRuns_; }
  // Takes a drained run on disk out of DiskRuns.
  void RemoveDiskRun(SortRun* run) REQUIRES(RunListLock);

  // Releases the run and frees its record. REQUIRES: the run is in no list.
  void DiscardRun(SortRun* run);

 private:
  friend struct SortEngineTestAccess;

  // Gives back the run's memory and, unless keepFile, its scratch file. The
  // run record itself stays for the caller.
  void ReleaseRun(SortRun* run, bool keepFile);
  // BytesInMemory has just grown.
  void NotePeak() REQUIRES(RunListLock) {
    costs_.PeakBytesInMemory = std::max(costs_.PeakBytesInMemory, bytesInMemory_.load());
  }

  plat::HeapHandle heap_ = nullptr;       // Rows.
  plat::HeapHandle entryHeap_ = nullptr;  // Entry arrays (see NewEntries).
  // Row bytes held in Heap. Changed under RunListLock; read without it.
  std::atomic<uint64_t> bytesInMemory_{0};
  Costs costs_ GUARDED_BY(RunListLock);
  uint32_t mergesInProgress_ GUARDED_BY(RunListLock) = 0;
  RunList memoryRuns_ GUARDED_BY(RunListLock);
  RunList diskRuns_ GUARDED_BY(RunListLock);
  // Batches copied in and not yet sorted into MemoryRuns.
  RunList pendingBatches_ GUARDED_BY(RunListLock);
  std::atomic<uint32_t> diskRunCount_{0};  // DiskRuns.Size(), for the unlocked early wake.
};
