// Texts kept as a string-table resource: grouped in blocks of sixteen,
// block (id / 16) + 1 holding ids 16 * (block - 1) to 16 * (block - 1) + 15,
// each entry a 16-bit length followed by that many UTF-16 code units. A
// length of 0 marks a missing entry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace plat {

struct StringResourceBlock {
  uint32_t Number;        // (id / 16) + 1 of the ids it holds.
  const char16_t* Units;  // Sixteen length-prefixed entries.
  size_t UnitCount;       // Units in the block, for bounds checks.
};

constexpr uint32_t StringResourceBlockOf(uint32_t id) {
  return id / 16 + 1;
}

// The text of string `id` in `blocks`; false when the block or the entry is
// missing, or the entry is empty. A malformed block reads as missing.
bool FindStringResource(const StringResourceBlock* blocks, size_t blockCount, uint32_t id,
                        std::u16string_view* text);

// String `id` of the module whose code or data holds `address`. On Windows
// it is read from the module's own string-table resource, which the
// resource compiler builds; libraries of the other platforms carry no
// resources, and the same blocks compiled into the module (`builtIn`) serve
// instead. The text stays valid while the module is loaded. False when the
// string is missing or empty.
bool LoadModuleString(const void* address, const StringResourceBlock* builtIn, size_t blockCount,
                      uint32_t id, std::u16string_view* text);

}  // namespace plat
