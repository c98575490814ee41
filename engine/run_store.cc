// The run lists and their accounting: the heap, the budget, batches copied
// in, the results of merges and spills put back, and the release of runs.
// Every change of a list or of BytesInMemory is made under RunListLock.
#include "engine/run_store.h"

#include <algorithm>
#include <new>

#include "platform/stream_copy.h"

namespace {

// A merge whose rows come to at most this many bytes copies them, in key
// order, into new chunks when the free budget holds them, and frees the
// chunks of its inputs; a larger merge moves only entries. Every later
// reader of the run (larger merges, a spill, the final merge) then reads its
// rows front to back instead of one random address per row, which on a
// machine with costly TLB misses is what a merge of a gigabyte waits on. The
// copy reads rows at random only within its inputs, 16 batches that stay in
// a few huge pages. Larger merges do not copy: the copy would need memory
// as large as their inputs until they are freed, and their inputs are
// already read as a few sequential streams.
constexpr uint64_t kMostCopiedMergeBytes = 32u << 20;

// Whether the group's rows already lie front to back in their runs' chunks,
// give or take a jump now and then (input that came in key order): copying
// them would cost a pass and bring nothing.
bool RowsLieInOrder(const RunList& group) {
  for (const SortRun* r = group.Front(); r; r = r->Next) {
    uint32_t jumps = 0;
    for (uint32_t i = 1; i < r->RowCount; ++i) {
      jumps += r->Cursor[i].Row != r->Cursor[i - 1].Row + r->RowWidth;
    }
    if (jumps > r->RowCount / 256) return false;
  }
  return true;
}

}  // namespace

bool RunStore::Create() {
  {
    plat::Lock listLock(RunListLock);
    costs_ = {};
  }
  heap_ = plat::HeapCreate();
  if (heap_ == nullptr) return false;
  entryHeap_ = plat::HeapCreate();
  if (entryHeap_ != nullptr) return true;
  plat::HeapDestroy(heap_);
  heap_ = nullptr;
  return false;
}

void RunStore::Destroy() {
  for (RunList* list : {&pendingBatches_, &memoryRuns_, &diskRuns_}) {
    while (SortRun* run = list->PopFront()) DiscardRun(run);
  }
  diskRunCount_ = 0;
  bytesInMemory_ = 0;
  RowWidth = 0;
  mergesInProgress_ = 0;
  InputEnded = false;
  plat::HeapDestroy(entryHeap_);
  plat::HeapDestroy(heap_);
  heap_ = entryHeap_ = nullptr;
}

uint64_t RunStore::FreeBudget() const {
  const uint64_t used = bytesInMemory_.load();
  return used < RamBudget ? RamBudget - used : 0;
}

uint64_t RunStore::LowMemoryMark() const {
  return ScratchFileBytes / 2;
}

// Entry arrays live in a private heap of their own: its blocks are reused as
// they are freed instead of being mapped, faulted in and unmapped anew for
// every merge. Not in the rows' heap: every merge frees entry arrays, and a
// block unmapped out of the middle of a huge-page slab splits the slab's huge
// pages into small ones, rows and all. Rows read at random addresses on small
// pages cost a TLB miss each, which on this kind of virtual machine was 20
// times slower for a final merge of a gigabyte.
SortEntry* RunStore::NewEntries(uint32_t count) {
  return static_cast<SortEntry*>(
      plat::HeapAlloc(entryHeap_, static_cast<size_t>(count) * sizeof(SortEntry)));
}

void RunStore::FreeEntries(SortEntry* entries) {
  if (entries) plat::HeapFree(entryHeap_, entries);
}

// Runs on the host's input thread, after the engine made what room it could.
HRESULT RunStore::CopyBatch(const uint8_t* rowData, uint32_t rowCount, uint32_t rowWidth,
                            const RowOrder& order, SortRun** batch) {
  const uint64_t bytes = static_cast<uint64_t>(rowCount) * rowWidth;
  const uint64_t stored = static_cast<uint64_t>(rowCount) * (rowWidth + sizeof(SortEntry));
  if (bytes > SIZE_MAX - sizeof(RowChunk)) return E_OUTOFMEMORY;
  auto* chunk = static_cast<RowChunk*>(plat::HeapAlloc(heap_, sizeof(RowChunk) + bytes));
  if (!chunk) {
    const DWORD error = plat::GetLastError();
    return error ? HRESULT_FROM_WIN32(error) : E_OUTOFMEMORY;
  }
  chunk->Next = nullptr;
  chunk->RowCount = rowCount;
  SortEntry* entries = NewEntries(rowCount);
  auto* run = new (std::nothrow) SortRun;
  if (!entries || !run) {
    FreeEntries(entries);
    delete run;
    plat::HeapFree(heap_, chunk);
    return E_OUTOFMEMORY;
  }

  uint8_t* rows = chunk->Rows();
  plat::CopyBytes(rows, rowData, bytes);
  // The prefixes are taken while the rows are still in the cache.
  for (uint32_t i = 0; i < rowCount; ++i) {
    entries[i] = order.EntryFor(rows + static_cast<size_t>(i) * rowWidth);
  }
  run->Chunks = run->LastChunk = chunk;
  run->Entries = run->Cursor = entries;
  run->RowCount = rowCount;
  run->RowWidth = rowWidth;

  plat::Lock lock(RunListLock);
  bytesInMemory_ += stored;
  NotePeak();
  pendingBatches_.PushBack(run);
  *batch = run;
  return S_OK;
}

void RunStore::TakeBackBatch(SortRun* batch) {
  {
    plat::Lock lock(RunListLock);
    pendingBatches_.Remove(batch);
    bytesInMemory_ -= batch->StoredBytes();
  }
  DiscardRun(batch);
}

void RunStore::AddSortedBatch(SortRun* batch) {
  pendingBatches_.Remove(batch);
  memoryRuns_.PushFront(batch);
  ++mergesInProgress_;
  ++costs_.RunsGenerated;
}

// Chunks for the `rowCount` rows of `group`'s merge to be copied into,
// chained, each with room for as many rows as the group's first chunk: cut
// like its inputs' chunks, a copy is handed chunks the heap has kept from
// freed batches and copies, and hands them on when it is freed itself,
// instead of faulting in fresh memory. The row bytes are counted in
// BytesInMemory. Null (nothing counted) when the merge is too large to copy,
// its rows already lie in order, the free budget does not hold it or there
// is no memory.
RowChunk* RunStore::TakeCopyChunks(const RunList& group, uint32_t rowCount, uint32_t width) {
  const uint64_t bytes = static_cast<uint64_t>(rowCount) * width;
  if (bytes > kMostCopiedMergeBytes || RowsLieInOrder(group)) return nullptr;
  const uint32_t chunkRows = std::max(group.Front()->Chunks->RowCount, 1u);
  {
    plat::Lock lock(RunListLock);
    if (FreeBudget() < bytes) return nullptr;
    bytesInMemory_ += bytes;
    NotePeak();
  }
  RowChunk* first = nullptr;
  RowChunk** link = &first;
  for (uint32_t left = rowCount; left > 0;) {
    auto* chunk = static_cast<RowChunk*>(
        plat::HeapAlloc(heap_, sizeof(RowChunk) + static_cast<size_t>(chunkRows) * width));
    if (!chunk) {
      FreeChunks(first);
      plat::Lock lock(RunListLock);
      bytesInMemory_ -= bytes;
      return nullptr;
    }
    chunk->Next = nullptr;
    chunk->RowCount = std::min(left, chunkRows);
    left -= chunk->RowCount;
    *link = chunk;
    link = &chunk->Next;
  }
  return first;
}

void RunStore::FreeChunks(RowChunk* chunk) {
  while (chunk) {
    RowChunk* next = chunk->Next;
    plat::HeapFree(heap_, chunk);
    chunk = next;
  }
}

// Merging is only an optimisation: the runs go back unmerged (the merger read
// them through cursors of its own), in their order, at the front where the
// small runs are.
void RunStore::ReturnUnmerged(RunList* group, RowChunk* copy, uint64_t copyBytes) {
  FreeChunks(copy);
  plat::Lock lock(RunListLock);
  if (copy) bytesInMemory_ -= copyBytes;
  while (SortRun* r = group->Back()) {
    group->Remove(r);
    memoryRuns_.PushFront(r);
  }
  --mergesInProgress_;
}

// MemoryRuns stays in row-count order. copiedBytes: the inputs' rows, copied
// into the merged run and now freed.
void RunStore::AddMergedRun(SortRun* merged, uint64_t copiedBytes) {
  bytesInMemory_ -= copiedBytes;
  SortRun* position = memoryRuns_.Front();
  while (position && position->RowCount < merged->RowCount) position = position->Next;
  memoryRuns_.InsertBefore(position, merged);
  --mergesInProgress_;
}

void RunStore::SpillDone(RunList* group, SortRun* spilled) {
  uint64_t stored = 0;
  for (SortRun* r = group->Front(); r; r = r->Next) stored += r->StoredBytes();
  while (SortRun* r = group->PopFront()) DiscardRun(r);
  plat::Lock listLock(RunListLock);
  diskRuns_.PushBack(spilled);
  ++diskRunCount_;
  bytesInMemory_ -= stored;
  costs_.BytesSpilled += spilled->Bytes();
  ++costs_.ScratchFilesWritten;
}

// The group goes to the end of MemoryRuns, where the largest runs are.
void RunStore::ReturnSpillGroup(RunList* group) {
  plat::Lock listLock(RunListLock);
  while (SortRun* r = group->PopFront()) memoryRuns_.PushBack(r);
}

void RunStore::ReturnDiskRuns(RunList* group) {
  while (SortRun* run = group->PopFront()) {
    diskRuns_.PushBack(run);
    ++diskRunCount_;
  }
}

void RunStore::AddDiskRun(SortRun* run) {
  plat::Lock listLock(RunListLock);
  diskRuns_.PushBack(run);
  ++diskRunCount_;
  ++costs_.ScratchFilesWritten;
}

RunStore::Costs RunStore::ReadCosts() {
  plat::Lock listLock(RunListLock);
  return costs_;
}

void RunStore::RemoveDiskRun(SortRun* run) {
  diskRuns_.Remove(run);
  --diskRunCount_;
}

void RunStore::ReleaseRun(SortRun* run, bool keepFile) {
  FreeEntries(run->Entries);
  run->Entries = run->Cursor = nullptr;
  FreeChunks(run->Chunks);
  run->Chunks = run->LastChunk = nullptr;
  if (!keepFile && run->Reader) {
    CloseScratchReader(run->Reader);  // Closing deletes the file.
    run->Reader = nullptr;
  }
}

void RunStore::DiscardRun(SortRun* run) {
  ReleaseRun(run, false);
  delete run;
}
