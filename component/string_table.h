// The component's user-visible texts, kept as a string-table resource: the
// texts are grouped in blocks of sixteen, block (id / 16) + 1 holding ids
// 16 * (block - 1) to 16 * (block - 1) + 15, each entry a 16-bit length
// followed by that many UTF-16 code units. A length of 0 marks a missing
// entry. Texts are loaded by identifier at the moment they are needed: on
// Windows from the library's own string-table resource, elsewhere from the
// same table compiled into the library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "component/string_texts.h"
#include "platform/bstr.h"

enum ComponentString : uint32_t {
#define TOLVARINE_STRING_ID(name, identifier, text) name = identifier,
  TOLVARINE_COMPONENT_STRINGS(TOLVARINE_STRING_ID)
#undef TOLVARINE_STRING_ID
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
