// The sort engine: takes blocks of fixed-width rows, sorts and merges them on
// worker threads within a RAM budget, spills sorted runs to scratch files
// when the budget runs out, and at the end of input merges every run into
// the host's output buffer. The algorithm, threads and locks are described
// at the top of sort_engine.cc.
#pragma once

#include <cstdint>
#include <vector>

#include "component/pipeline_interfaces.h"
#include "keys/sort_columns.h"
#include "platform/com.h"
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
  uint32_t ThreadCount = 1;             // 1..128
  ::ScratchAreaList ScratchAreaList;
  uint32_t RamBudget = 0;               // Row bytes to keep in memory.
  uint32_t ScratchFileBytes = 0;        // Largest in-memory merged run / scratch file.
  std::vector<SortColumn> Columns;      // Every output column, in output order.
  std::vector<SortColumn> SortKeys;     // The key columns, in key order.
  ComPtr<IDTSBuffer90> OutputBuffer;    // Set by output priming.

  // RamBudget and ScratchFileBytes from the RAMBudget and ScratchFileSize
  // property values (megabytes; 0 and negative budgets are shares of memory).
  void ComputeMemorySettings(int32_t ramBudgetMB, int32_t scratchFileMB);

  // Brings the engine into service: heap, completion port, events, threads.
  // On failure everything made so far is released and the engine is idle.
  HRESULT Create();
  // Copies rowCount rows into the engine and queues them for sorting. With
  // endOfRowset, returns only when every row has been added to OutputBuffer
  // and the rowset ended; then returns the first failure of the engine's
  // threads (spill, read-back, output), never success with a partial output.
  HRESULT AddRows(uint32_t rowCount, uint32_t rowWidth, const uint8_t* rowData, bool endOfRowset);
  // Stops the threads and releases every run, scratch file and the heap.
  // Safe on an idle engine and more than once.
  void Destroy();

 private:
  struct State;
  State* state_;  // Engine internals (threads, runs, locks), see sort_engine.cc.
};
