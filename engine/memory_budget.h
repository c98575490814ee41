// The RAM budget and the scratch file size from the RAMBudget and
// ScratchFileSize property values.
#pragma once

#include <cstdint>

struct MemorySettings {
  uint32_t RamBudget;         // Bytes.
  uint32_t ScratchFileBytes;  // Bytes.
};

// The byte counts are 32 bits wide; larger results are clamped to
// kMaxSettingBytes rather than wrapped.
constexpr uint32_t kMaxSettingBytes = 0xFFFFFFFFu;
// ScratchFileSize values below this many megabytes count as this many.
constexpr int32_t kMinScratchFileMB = 200;

// ramBudgetMB > 0: that many megabytes. 0: 60 percent of physical memory;
// < 0: its absolute value as a percentage of physical memory, where physical
// memory counts as at most 2 GiB. scratchFileMB: megabytes, at least 200.
MemorySettings ComputeMemorySettingsFor(int32_t ramBudgetMB, int32_t scratchFileMB,
                                        uint64_t physicalMemory);
