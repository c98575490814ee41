// The RAM budget, and the copying of each input buffer into the engine's heap.
#include "engine/memory_budget.h"

#include <algorithm>
#include <new>

#include "engine/sort_engine.h"
#include "platform/stream_copy.h"

namespace {

constexpr uint64_t kMaxPhysicalMemoryCounted = 0x80000000u;  // 2 GiB.
constexpr uint32_t kDefaultMemoryPercent = 60;

uint32_t ClampToSettingBytes(uint64_t bytes) {
  return static_cast<uint32_t>(std::min<uint64_t>(bytes, kMaxSettingBytes));
}

}  // namespace

MemorySettings ComputeMemorySettingsFor(int32_t ramBudgetMB, int32_t scratchFileMB,
                                        uint64_t physicalMemory) {
  uint64_t ram;
  if (ramBudgetMB > 0) {
    ram = static_cast<uint64_t>(ramBudgetMB) << 20;
  } else {
    const uint64_t onePercent = std::min(physicalMemory, kMaxPhysicalMemoryCounted) / 100;
    const uint64_t percent =
        ramBudgetMB == 0 ? kDefaultMemoryPercent : -static_cast<int64_t>(ramBudgetMB);
    ram = onePercent * percent;
  }
  const uint64_t scratch = static_cast<uint64_t>(std::max(scratchFileMB, kMinScratchFileMB)) << 20;
  return {ClampToSettingBytes(ram), ClampToSettingBytes(scratch)};
}

void SortEngine::ComputeMemorySettings(int32_t ramBudgetMB, int32_t scratchFileMB) {
  const uint64_t physical = ramBudgetMB > 0 ? 0 : plat::TotalPhysicalMemory();
  const MemorySettings settings = ComputeMemorySettingsFor(ramBudgetMB, scratchFileMB, physical);
  RamBudget = settings.RamBudget;
  ScratchFileBytes = settings.ScratchFileBytes;
}

uint64_t SortEngine::FreeBudget() const {
  const uint64_t used = BytesInMemory.load();
  return used < RamBudget ? RamBudget - used : 0;
}

uint64_t SortEngine::LowMemoryMark() const {
  return ScratchFileBytes / 2;
}

// Entry arrays live in the private heap like the rows: its blocks are reused
// as they are freed instead of being mapped, faulted in and unmapped anew for
// every merge.
SortEntry* SortEngine::NewEntries(uint32_t count) {
  return static_cast<SortEntry*>(
      plat::HeapAlloc(Heap, static_cast<size_t>(count) * sizeof(SortEntry)));
}

void SortEngine::FreeEntries(SortEntry* entries) {
  if (entries) plat::HeapFree(Heap, entries);
}

// Runs on the host's input thread. REQUIRES: no engine lock held (it may wait
// for the spill thread).
HRESULT SortEngine::CopyBatch(const uint8_t* rowData, uint32_t rowCount, uint32_t rowWidth,
                              SortRun** batch) {
  const uint64_t bytes = static_cast<uint64_t>(rowCount) * rowWidth;
  const uint64_t stored = static_cast<uint64_t>(rowCount) * (rowWidth + sizeof(SortEntry));
  if (stored > FreeBudget()) {
    // The wait must be answered by a pass that ends after this wake: a pass
    // that ended earlier (an early wake nobody waited for) may have left the
    // event set.
    plat::ResetEvent(MemoryFreedEvent);
    if (plat::SignalAndWait(SpillWakeEvent, MemoryFreedEvent) != plat::WaitResult::kSignaled) {
      return plat::HResultFromLastError();
    }
    // A pass that failed for good (every scratch area refused) leaves no way
    // to make room: the rows are refused rather than held past the budget.
    const HRESULT failure = FirstFailure.load();
    if (FAILED(failure)) return failure;
    // Otherwise the budget is not looked at again: a spill that could not
    // free enough must not stop the input, so the batch is taken in any case.
  } else if (FreeBudget() < LowMemoryMark() && !InputEnded && DiskRunCount > 0 &&
             !SpillWakePending.exchange(true)) {
    // Early wake: spilling starts while the input goes on.
    plat::SetEvent(SpillWakeEvent);
  }

  if (bytes > SIZE_MAX - sizeof(RowBlock)) return E_OUTOFMEMORY;
  auto* block = static_cast<RowBlock*>(plat::HeapAlloc(Heap, sizeof(RowBlock) + bytes));
  if (!block) {
    const DWORD error = plat::GetLastError();
    return error ? HRESULT_FROM_WIN32(error) : E_OUTOFMEMORY;
  }
  block->Next = nullptr;
  block->RowCount = rowCount;
  SortEntry* entries = NewEntries(rowCount);
  auto* run = new (std::nothrow) SortRun;
  if (!entries || !run) {
    FreeEntries(entries);
    delete run;
    plat::HeapFree(Heap, block);
    return E_OUTOFMEMORY;
  }

  uint8_t* rows = block->Rows();
  plat::CopyBytes(rows, rowData, bytes);
  // The prefixes are taken while the rows are still in the cache.
  for (uint32_t i = 0; i < rowCount; ++i) {
    entries[i] = Order.EntryFor(rows + static_cast<size_t>(i) * rowWidth);
  }
  run->Blocks = run->LastBlock = block;
  run->Entries = run->Cursor = entries;
  run->RowCount = rowCount;
  run->RowWidth = rowWidth;

  plat::Lock lock(RunListLock);
  BytesInMemory += stored;
  PendingBatches.PushBack(run);
  *batch = run;
  return S_OK;
}
