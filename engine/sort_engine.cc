// THE SORT ENGINE
//
// The engine sorts fixed-width rows that arrive in blocks ("buffers") on the
// host's input thread, keeps at most about RamBudget bytes of them in memory,
// writes sorted runs to scratch files when that budget runs out, and at the
// end of input merges everything, in memory and on disk, in one pass and
// hands the rows in key order to Output, a SortedRowSink (the component lays
// them out in the host's output buffer).
//
// THE PARTS
//
// SortEngine is the public face: the settings, Create, AddRows and Destroy.
// It owns three parts and does the work that needs more than one of them:
// sorting batches and merging runs in memory (run_generation.cc), the Merge
// and EndOfInput items, the spill pass and the input thread's wait for room
// (engine_threads.cc).
//   RunStore    (run_store.h) the run lists, RunListLock, the private heap
//               and its entry arrays, BytesInMemory against the budget, and
//               the choice of the runs for each merge and spill
//               (run_choice.cc). It starts no thread and waits for nothing
//               but its lock.
//   WorkerPool  (worker_pool.h) the completion port, the workers, the spill
//               thread, the events and StopRequested. Each work item and
//               each spill wake is one call into the engine (PoolWork).
//   DiskMerges  (disk_merges.h) what writes or reads scratch files, under
//               SpillLock: spills, the merges of runs on disk and the final
//               merge.
//
// ROWS, ENTRIES AND RUNS
//
// A stored row is a byte-for-byte copy of one row of the host's input buffer,
// RowWidth bytes wide; its columns are reached only through the SortColumn
// entries (SortKeys for CompareRows, the one definition of row order). Every
// input buffer is copied, in one piece, into one block of the private heap
// (RunStore::CopyBatch). Each block starts with a RowChunk header that chains
// the blocks of one run together. Sorting a batch reorders its entries only.
// The first merges of batches copy the rows once more, in key order, into
// blocks of the merged run cut like the batches' and free the batches'
// blocks; larger merges move entries only. So every run beyond a batch is a
// few chains of blocks read front to back, and no later merge reads rows at
// random addresses across the heap.
//
// An entry (sort_entry.h) is a row's address beside a 64-bit prefix of its
// key that orders as the key does (keys/key_prefix.h). Order compares two
// entries by prefix and reads the rows only when the prefixes tie and do not
// settle the key. The prefix is taken once, in CopyBatch, while the row is
// still in the cache; a row read back from disk gets it again as it is read.
//
// A SortRun is a set of rows plus their order:
//   in memory  Chunks (the chain of heap chunks), Entries (the rows in key
//              order), Cursor pointing at the first entry not consumed;
//   on disk    Reader (a ScratchReader over a scratch file holding the rows
//              back to back in key order).
// RowCount is the number of rows not yet consumed; Level says how many
// merges are behind the run. Runs live in intrusive doubly linked lists
// (RunList), so moving a run between lists never allocates:
//   PendingBatches  batches copied in by CopyBatch and not yet sorted;
//   MemoryRuns      sorted runs in memory: fresh batches at the front, larger
//                   merged runs further back (ordered by row count);
//   DiskRuns        runs written to scratch files, in the order written.
//
// Every merge, in memory, of runs on disk, and the final one, takes its rows
// from one RunMerger (run_merger.h): a tournament tree of losers over the
// runs' cursors, log2(runs) entry comparisons a row, ties to the run given
// first.
//
// THE LIFE OF A ROW
//
//   1. AddRows -> MakeRoom, CopyBatch: the buffer becomes a batch (a run
//      whose entries are in input order) in PendingBatches, and a Batch work
//      item carrying it is posted to CompletionPort.
//   2. A worker takes the item (SortBatch): SortEntries orders the entries
//      (introsort: ninther pivots, insertion sort for short ranges, heapsort
//      below a depth limit, and one pass for input already in order or in
//      reverse order), then the batch goes to the front of MemoryRuns.
//   3. The worker looks for 16 runs of one level in MemoryRuns, or fewer
//      when 16 would pass ScratchFileBytes (PickMergeGroup), takes them out,
//      merges them into one new run a level up without any lock
//      (MergeMemoryRuns; up to 32 MiB of rows copied in key order, larger
//      merges of entries only), puts the result back in row-count order, and posts
//      a Merge item so that merging goes on while there is work.
//   4. When a batch does not fit the free budget, MakeRoom wakes the spill
//      thread and waits for MemoryFreedEvent. A spill pass (SpillOneRun)
//      merges the largest runs of MemoryRuns, together at most
//      ScratchFileBytes of rows, into one new scratch file and moves the
//      merged run to DiskRuns, until the free budget is back above the
//      low-memory mark (ScratchFileBytes / 2), the input has ended, or
//      nothing more can be written. Once a run is on disk, MakeRoom also
//      wakes the spill thread early, without waiting, when the free budget
//      falls below the mark. After the pass, with MakeRoom released, the
//      spill thread merges runs on disk F = MaxReadersAtOnce at a time while
//      more than F of them are there and F have the same level, or more than
//      2F are there (MergeDiskRunsWhileInputArrives): each run on disk holds
//      a file, and this keeps them within 2F, a level being one more pass
//      over its rows.
//   5. AddRows with endOfRowset posts EndOfInput and waits on SortDoneEvent.
//      The worker that takes EndOfInput sets InputEnded (no in-memory merge
//      starts after that) and posts Merge. The worker that takes a Merge item
//      when InputEnded is set, no merge is in progress and PendingBatches is
//      empty runs FinalMerge. When there are more runs on disk than it may
//      read at once (MaxReadersAtOnce), it first merges them in groups into
//      new runs on disk until few enough are left (MergeDiskRunsDown). Then
//      one RunMerger over every run (memory runs first, then disk runs, each
//      list front to back; ties go to the run met first) hands the rows to
//      Output (dropping rows whose key equals the last one handed on, kept in
//      HoldingRow, when EliminateDuplicates is set) and releases each run as
//      soon as it is drained. Then it clears InputEnded and sets
//      SortDoneEvent, and AddRows returns.
//
// Every batch posted before EndOfInput is sorted into MemoryRuns before the
// final merge starts: the final merge requires PendingBatches to be empty,
// and a worker that moves a batch out of PendingBatches after InputEnded was
// set posts another Merge item, so the check is made again after the last
// batch arrives. Likewise every merge that ends posts a Merge item.
//
// THREADS
//
//   the host's threads  Create, AddRows (MakeRoom may wait for the spill
//                       thread and, at the end, for the final merge), Destroy.
//   ThreadCount workers take work items from CompletionPort: Stop (0), Batch
//                       (1), Merge (2), EndOfInput (3); any other key is
//                       ignored. Worker i is bound to processor i mod P.
//   one spill thread    sleeps on SpillWakeEvent, then runs one spill pass
//                       and the merges of disk runs after it, each holding
//                       SpillLock; bound to processor ThreadCount mod P.
//
// Events (auto-reset): SpillWakeEvent wakes the spill thread; MemoryFreedEvent
// ends a pass (and releases a MakeRoom that waits); SortDoneEvent ends the
// final merge; MergeDoneEvent tells a spill that waits for a larger run that a
// merge has finished.
//
// LOCKS
//
//   SpillLock    held for a whole spill pass, for the merges of disk runs
//                after it, by the EndOfInput step and by the final merge. So
//                InputEnded cannot change while a run is being written, and
//                the final merge never overlaps a spill or a merge of disk
//                runs. A merge of disk runs takes its group out of DiskRuns
//                and merges it without RunListLock.
//   RunListLock  guards the three run lists, MergesInProgress, BytesSpilled
//                and every change of BytesInMemory. Held only around list
//                operations, except that the final merge holds it throughout.
//
// Lock order: SpillLock before RunListLock. No thread waits for SpillLock
// while it holds RunListLock, and no thread waits on an event while it holds
// RunListLock. Values read by one thread without a lock while another changes
// them are atomics: InputEnded (changed only with both locks held),
// BytesInMemory, DiskRunCount (the size of DiskRuns, for the early wake),
// SpillWakePending, StopRequested and FirstFailure.
//
// FAILURES
//
// The operations on the host's thread return their failures. A failure on an
// engine thread (a run that no scratch area takes, a run that cannot be read
// back, an output row the host refuses, no memory for HoldingRow) is kept in
// FirstFailure. Every later AddRows returns it at once, and so does a
// MakeRoom that waited for the failed spill pass, without taking its rows
// in: the host stops feeding rows and memory stays within the budget. A
// failure during the final merge is returned by the AddRows that ends the
// input; the output rowset is still ended so that the host does not wait for
// ever, but the sort is never reported as a success. A failed system call
// whose last error is 0 is still a failure (E_FAIL).
//
// A scratch area that refuses a spill (full, missing, failing) is set aside
// for the rest of the execution, its file deleted, and the run is written to
// the next area that is left, at once. Only when every area has refused does
// the spill fail: the run goes back to MemoryRuns and no further spill is
// tried in this execution. Create starts each execution with every area.
// A merge of disk runs that fails while input arrives loses the rows of its
// group; the failure is kept like any other and the final merge delivers the
// rest.
//
// A spill pass that finds no sorted run in memory waits while batches are
// still being sorted or merged (so an input faster than sorting is held to
// the budget), and ends as soon as nothing is left that could be written: a
// budget that cannot be met (RamBudget below the low-memory mark, a budget of
// 0) never keeps the input thread waiting for ever.
//
// MEMORY
//
// What counts against RamBudget is every row in memory and its entry (16
// bytes); a merge copies rows only into room the free budget has, counted
// from before the copy until its inputs are freed. Beyond it the engine uses,
// while input arrives: the one buffer CopyBatch takes in after a spill pass,
// the entry array a merge in memory builds before it lets go of its inputs'
// arrays (at most ScratchFileBytes worth of rows), and the spill's two 2 MiB
// write buffers. Every merge of runs on disk, while input arrives and in the
// final merge, reads each run through two read buffers of its own
// (kMergeReadExtentBytes each, 1 MiB a run for narrow rows), at most
// MaxReadersAtOnce runs at once (a quarter of the budget, at least 16 MiB),
// plus one writer's 4 MiB while input arrives or the final merge merges down
// the runs on disk beyond that.
//
// STOPPING
//
// Destroy first stops the pool: it posts one Stop item per worker and joins
// the workers, then wakes the spill thread and joins it, before anything they
// use is freed. The workers and the spill thread also look at StopRequested
// whenever their wait times out (every kStopPollMs), so they end even if a
// Stop item cannot be posted. The port is closed only after every thread that
// could touch it has ended.
//
// SETTINGS
//
// RamBudget and ScratchFileBytes are 32-bit byte counts: larger property
// values are clamped to 0xFFFFFFFF bytes, never wrapped (memory_budget.cc).
// Create hands them to the store; they are not changed while in service.
// ThreadCount must be 1..128. Rows wider than 1 MiB (half a scratch extent)
// are refused by AddRows, as are rows whose width changes within an
// execution.
#include "engine/sort_engine.h"

#include "engine/engine_limits.h"

SortEngine::SortEngine() = default;

SortEngine::~SortEngine() {
  Destroy();
}

HRESULT SortEngine::Create() {
  if (Store.InService() || Pool.Running()) return E_UNEXPECTED;  // Already in service.
  if (ThreadCount < 1 || ThreadCount > kMaxThreadCount) return E_INVALIDARG;
  FirstFailure = S_OK;
  Merges.Reset();

  HRESULT hr = ResetSetAsideAreas(&ScratchAreaList);
  if (FAILED(hr)) return hr;
  Order.Reset(SortKeys);
  Store.RamBudget = RamBudget;
  Store.ScratchFileBytes = ScratchFileBytes;
  hr = Store.Create() ? Pool.Start(ThreadCount) : plat::HResultFromLastError();
  if (FAILED(hr)) Destroy();
  return hr;
}

HRESULT SortEngine::AddRows(uint32_t rowCount, uint32_t rowWidth, const uint8_t* rowData,
                            bool endOfRowset) {
  if (!Pool.Running()) return E_UNEXPECTED;
  const HRESULT failure = FirstFailure.load();
  if (FAILED(failure)) return failure;  // The sort cannot succeed any more.
  // Without an output buffer the final merge would have nowhere to go; the
  // input is not ended, and Destroy still releases everything.
  if (endOfRowset && !Output) return E_UNEXPECTED;

  if (rowCount > 0) {
    if (!rowData) return E_POINTER;
    const uint32_t width = Store.RowWidth;
    if (rowWidth == 0 || rowWidth > kMaxRowWidth || (width != 0 && rowWidth != width) ||
        static_cast<uint64_t>(rowCount) * rowWidth > kMaxBatchBytes) {
      return E_INVALIDARG;
    }
    if (width == 0) Store.RowWidth = rowWidth;  // Read by the workers: written once.
    HRESULT hr = MakeRoom(static_cast<uint64_t>(rowCount) * (rowWidth + sizeof(SortEntry)));
    if (FAILED(hr)) return hr;
    SortRun* batch = nullptr;
    hr = Store.CopyBatch(rowData, rowCount, rowWidth, Order, &batch);
    if (FAILED(hr)) return hr;
    if (!Pool.PostWork(WorkerPool::kBatch, batch)) {
      hr = plat::HResultFromLastError();
      Store.TakeBackBatch(batch);  // No worker has seen it.
      return hr;
    }
  }

  if (!endOfRowset) return S_OK;
  if (!Pool.PostWork(WorkerPool::kEndOfInput)) return plat::HResultFromLastError();
  if (!Pool.WaitForSortDone()) return plat::HResultFromLastError();
  return FirstFailure.load();
}

void SortEngine::Destroy() {
  Pool.Stop();
  SortKeys.clear();
  Order = RowOrder();
  Output = nullptr;
  // No engine thread is left, so the lists need no lock here.
  Store.Destroy();
  Merges.Reset();
}

void SortEngine::RecordFailure(HRESULT hr) {
  if (SUCCEEDED(hr)) return;
  HRESULT none = S_OK;
  FirstFailure.compare_exchange_strong(none, hr);
}
