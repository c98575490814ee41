// The RAM budget and the scratch file size from the property values.
#include "engine/memory_budget.h"

#include <algorithm>

#include "engine/sort_engine.h"
#include "platform/thread.h"

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
