// The sort engine: takes blocks of fixed-width rows, sorts and merges them on
// worker threads within a RAM budget, spills sorted runs to scratch files
// when the budget runs out, and at the end of input merges every run and
// hands the rows, in key order, to a SortedRowSink. The engine owns its
// parts: the run store, the worker pool and the merges on disk. The
// algorithm, the parts, threads and locks are described at the top of
// sort_engine.cc.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "engine/disk_merges.h"
#include "engine/run_store.h"
#include "engine/sort_entry.h"
#include "engine/sort_run.h"
#include "engine/sorted_row_sink.h"
#include "engine/worker_pool.h"
#include "keys/sort_columns.h"
#include "platform/com.h"
#include "platform/thread_annotations.h"
#include "scratch/scratch_areas.h"

class SortEngine : private PoolWork {
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
  // What the sort since the last Create has cost; also after Destroy.
  RunStore::Costs Costs() { return Store.ReadCosts(); }

 private:
  friend struct SortEngineTestAccess;  // Unit tests of the internal operations.

  // The work items and the spill pass, on the pool's threads
  // (engine_threads.cc, run_generation.cc).
  void SortBatch(SortRun* batch) override;
  void OnMerge() override;
  void OnEndOfInput() override;
  void RunSpillPass() override;
  // The input thread's wait for a spill before a batch of `stored` bytes is
  // copied in (engine_threads.cc).
  HRESULT MakeRoom(uint64_t stored) EXCLUDES(Merges.SpillLock, Store.RunListLock);

  // Merging runs in memory (run_generation.cc).
  bool MergeMemoryRuns();

  // Keeps the first failure of an engine thread for the AddRows that ends
  // the input.
  void RecordFailure(HRESULT hr);

  std::atomic<HRESULT> FirstFailure{S_OK};
  // The order of SortKeys on entries; set by Create.
  RowOrder Order;
  RunStore Store;
  WorkerPool Pool{this};
  DiskMerges Merges{Store, Pool, Order, ScratchAreaList, FirstFailure};
};
