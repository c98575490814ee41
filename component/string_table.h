// The component's user-visible texts, kept as a string-table resource: the
// texts are grouped in blocks of sixteen, block (id / 16) + 1 holding ids
// 16 * (block - 1) to 16 * (block - 1) + 15, each entry a 16-bit length
// followed by that many UTF-16 code units. A length of 0 marks a missing
// entry. Texts are loaded by identifier at the moment they are needed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/bstr.h"

enum ComponentString : uint32_t {
  IDS_PROJNAME = 100,
  IDS_INPUT_NAME = 101,
  IDS_OUTPUT_NAME = 102,
  IDS_INPUT_DESCRIPTION = 103,
  IDS_OUTPUT_DESCRIPTION = 104,
  IDS_COMPONENT_DESCRIPTION = 105,
  IDS_ELIMINATE_DUPLICATES = 106,
  IDS_NEW_COMPARISON_FLAGS = 107,
  IDS_NEW_SORT_KEY_POSITION = 108,
  IDS_SORT_COLUMN_ID = 109,
  IDS_SCRATCH_AREAS = 110,
  IDS_SORT_THREADS = 111,
  IDS_RAM_BUDGET = 112,
  IDS_SCRATCH_FILE_SIZE = 113,
};

struct StringResourceBlock {
  uint32_t Number;        // (id / 16) + 1 of the ids it holds.
  const char16_t* Units;  // Sixteen length-prefixed entries.
  size_t UnitCount;       // Units in the block, for bounds checks.
};

// The text of string `id` in `blocks`; false when the block or the entry is
// missing, or the entry is empty. A malformed block reads as missing.
bool FindStringResource(const StringResourceBlock* blocks, size_t blockCount, uint32_t id,
                        std::u16string_view* text);

// The component's string `id` as a new BSTR (the caller frees it); a null
// BSTR when the string is missing or empty, or cannot be allocated.
BSTR LoadComponentString(uint32_t id);
