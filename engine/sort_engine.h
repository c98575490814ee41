// The sort engine: takes blocks of fixed-width rows, sorts and merges them on
// worker threads within a RAM budget, spills sorted runs to scratch files
// when the budget runs out, and at the end of input merges every run and
// hands the rows, in key order, to a SortedRowSink. The algorithm, threads and locks are described
// at the top of sort_engine.cc.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "engine/sort_entry.h"
#include "engine/sort_run.h"
#include "engine/sorted_row_sink.h"
#include "keys/sort_columns.h"
#include "platform/com.h"
#include "platform/completion_port.h"
#include "platform/heap.h"
#include "platform/sync.h"
#include "platform/thread.h"
#include "scratch/scratch_areas.h"

class SortEngine {
 public:
  SortEngine();
  // Stops a running engine first (Destroy), so no thread outlives the record.
  ~SortEngine();
  SortEngine(const SortEngine&) = delete;
  SortEngine& operator=(const SortEngine&) = delete;

  // Settings, filled by pre-execution before Create, in this order.
  bool EliminateDuplicates = false;
  uint32_t ThreadCount = 1;  // 1..128
  ::ScratchAreaList ScratchAreaList;
  uint32_t RamBudget = 0;            // Row bytes to keep in memory.
  uint32_t ScratchFileBytes = 0;     // Largest in-memory merged run / scratch file.
  std::vector<SortColumn> SortKeys;  // The key columns, in key order.
  // Where the final merge delivers the rows; set before the input ends and
  // kept alive until then.
  SortedRowSink* Output = nullptr;

  // RamBudget and ScratchFileBytes from the RAMBudget and ScratchFileSize
  // property values (megabytes; 0 and negative budgets are shares of memory).
  void ComputeMemorySettings(int32_t ramBudgetMB, int32_t scratchFileMB);

  // Brings the engine into service: heap, completion port, events, threads.
  // On failure everything made so far is released and the engine is idle.
  HRESULT Create();
  // Copies rowCount rows into the engine and queues them for sorting. With
  // endOfRowset, returns only when every row has been handed to Output;
  // then returns the first failure of the engine's
  // threads (spill, read-back, output), never success with a partial output.
  // Once a spill has failed for good (every scratch area refused it), every
  // call returns that failure at once and takes no rows in.
  HRESULT AddRows(uint32_t rowCount, uint32_t rowWidth, const uint8_t* rowData, bool endOfRowset);
  // Stops the threads and releases every run, scratch file and the heap.
  // Safe on an idle engine and more than once.
  void Destroy();

 private:
  friend struct SortEngineTestAccess;  // Unit tests of the internal operations.

  // Completion keys of the work items on CompletionPort.
  enum WorkKey : uintptr_t { kStop = 0, kBatch = 1, kMerge = 2, kEndOfInput = 3 };

  // Memory budget and batch storage (memory_budget.cc).
  uint64_t FreeBudget() const;
  uint64_t LowMemoryMark() const;
  SortEntry* NewEntries(uint32_t count);
  void FreeEntries(SortEntry* entries);
  HRESULT CopyBatch(const uint8_t* rowData, uint32_t rowCount, uint32_t rowWidth, SortRun** batch);

  // Threads and work items (worker_threads.cc).
  HRESULT StartThreads();
  void StopThreads();
  static uint32_t SortWorkerMain(void* startRecord);
  static uint32_t SpillThreadMain(void* engine);
  bool PostWork(WorkKey key, SortRun* batch = nullptr);
  void OnMerge();
  void OnEndOfInput();
  void RunSpillPass();

  // Run generation (run_generation.cc).
  void SortBatch(SortRun* batch);
  uint32_t PickMergeGroup(RunList* group);
  RowBlock* TakeCopyBlocks(uint32_t rowCount, uint32_t width, uint32_t blockRows);
  void FreeBlocks(RowBlock* block);
  bool MergeMemoryRuns();
  void ReleaseRun(SortRun* run, bool keepFile);
  void DiscardRun(SortRun* run);

  // Final merge (final_merge.cc).
  void FinalMerge();
  HRESULT MergeAllRuns();
  HRESULT EmitRow(const SortEntry& entry);
  HRESULT StartReadingRun(SortRun* run);
  void FinishReadingRun(SortRun* run);

  // Merging runs on disk into fewer (disk_run_merge.cc).
  uint32_t ReadBlockBytes() const;
  uint32_t MaxReadersAtOnce() const;
  HRESULT MergeDiskRunsWhileInputArrives();
  HRESULT MergeDiskRunsDown();
  void TakeDiskRunGroup(uint32_t level, uint32_t most, RunList* group);
  void ReturnDiskRuns(RunList* group);
  HRESULT MergeDiskRunGroup(RunList* group);

  // Spilling (spill.cc).
  HRESULT SpillOneRun(bool* wroteRun);
  HRESULT TakeSpillGroup(RunList* group);

  // Merging runs into a new scratch file (merged_scratch_run.cc).
  enum class GroupAfterMerge { kKept, kDiscarded };
  HRESULT WriteMergedRun(RunList* group, GroupAfterMerge after, SortRun** merged);

  // Keeps the first failure of an engine thread for the AddRows that ends
  // the input.
  void RecordFailure(HRESULT hr);

  // Row bytes held in Heap. Changed under RunListLock; read without it.
  std::atomic<uint64_t> BytesInMemory{0};
  uint64_t BytesSpilled = 0;  // GUARDED_BY(RunListLock)
  // Fixed by the first AddRows that carries rows; read by the workers only
  // after a work item posted later.
  uint32_t RowWidth = 0;
  plat::HeapHandle Heap = nullptr;
  plat::PortHandle CompletionPort = nullptr;
  plat::ThreadHandle* WorkerThreads = nullptr;  // ThreadCount entries.
  plat::ThreadHandle SpillThread = nullptr;
  plat::EventHandle SpillWakeEvent = nullptr;
  plat::EventHandle MemoryFreedEvent = nullptr;
  plat::EventHandle SortDoneEvent = nullptr;
  plat::EventHandle MergeDoneEvent = nullptr;
  uint32_t MergesInProgress = 0;  // GUARDED_BY(RunListLock)
  // Changed only with SpillLock and RunListLock held.
  std::atomic<bool> InputEnded{false};
  RunList MemoryRuns;  // GUARDED_BY(RunListLock)
  RunList DiskRuns;    // GUARDED_BY(RunListLock)
  // Batches copied in and not yet sorted into MemoryRuns.
  RunList PendingBatches;                 // GUARDED_BY(RunListLock)
  std::atomic<uint32_t> DiskRunCount{0};  // DiskRuns.Size(), for the unlocked early wake.
  plat::CriticalSection RunListLock;
  plat::CriticalSection SpillLock;  // Always entered before RunListLock.
  std::atomic<bool> SpillWakePending{false};
  std::atomic<bool> StopRequested{false};
  std::atomic<HRESULT> FirstFailure{S_OK};
  // Set after every scratch area refused a spill: no more spills in this
  // execution.
  bool SpillDisabled = false;  // GUARDED_BY(SpillLock)
  // The order of SortKeys on entries; set by Create.
  RowOrder Order;
  // The final merge's copy of the last row emitted and its entry (duplicate
  // elimination).
  uint8_t* HoldingRow = nullptr;
  SortEntry HoldingEntry{0, nullptr};
  // Runs on disk being read (each holds two read buffers) by the final merge
  // and the merges of disk runs, and the most at any time in this execution.
  // GUARDED_BY(SpillLock); read by tests once the final merge has ended.
  uint32_t ReadersOpen = 0;
  uint32_t PeakReadersOpen = 0;

  // Tuning of the spill: a run smaller than SmallRunBytes is written only
  // after SmallRunWaits waits of SmallRunWaitMs for a merge to make it larger.
  uint32_t SmallRunBytes = 20u << 20;
  uint32_t SmallRunWaits = 5;
  uint32_t SmallRunWaitMs = 500;
  // The preferred read block of a run on disk being merged (see
  // kMergeReadBlockBytes); tests of the merges of disk runs raise it to have
  // fewer readers at once.
  uint32_t MergeReadBlockBytes = kMergeReadBlockBytes;
  // Whether the spill thread merges runs on disk while input arrives; off
  // only in tests of the merges before the final one.
  bool MergeDiskRunsEarly = true;
};
