// The component's string table and its loader. On Windows the blocks are
// the library's own string-table resources, made by the resource compiler;
// elsewhere they are laid out here at compile time in the same format.
#include "component/string_table.h"

#include <array>
#include <iterator>

#include "platform/library.h"

namespace {

constexpr uint32_t BlockOf(uint32_t id) {
  return id / 16 + 1;
}

#ifndef _WIN32
struct StringEntry {
  uint32_t Id;
  std::u16string_view Text;
};

constexpr StringEntry kStrings[] = {
#define TOLVARINE_STRING_ENTRY(name, identifier, text) {name, u"" text},
    TOLVARINE_COMPONENT_STRINGS(TOLVARINE_STRING_ENTRY)
#undef TOLVARINE_STRING_ENTRY
};

constexpr size_t BlockUnitCount(uint32_t block) {
  size_t units = 16;  // One length per entry.
  for (const auto& entry : kStrings) {
    if (BlockOf(entry.Id) == block) units += entry.Text.size();
  }
  return units;
}

template <uint32_t Block>
constexpr std::array<char16_t, BlockUnitCount(Block)> EncodeBlock() {
  std::array<char16_t, BlockUnitCount(Block)> units{};
  size_t pos = 0;
  for (uint32_t slot = 0; slot < 16; ++slot) {
    std::u16string_view text;
    for (const auto& entry : kStrings) {
      if (entry.Id == (Block - 1) * 16 + slot) text = entry.Text;
    }
    units[pos++] = static_cast<char16_t>(text.size());
    for (char16_t unit : text) units[pos++] = unit;
  }
  return units;
}

constexpr auto kBlock7 = EncodeBlock<BlockOf(IDS_PROJNAME)>();
constexpr auto kBlock8 = EncodeBlock<BlockOf(IDS_SCRATCH_FILE_SIZE)>();
static_assert(BlockOf(IDS_PROJNAME) == 7 && BlockOf(IDS_SCRATCH_FILE_SIZE) == 8);

constexpr StringResourceBlock kBlocks[] = {
    {7, kBlock7.data(), kBlock7.size()},
    {8, kBlock8.data(), kBlock8.size()},
};
#endif  // !_WIN32

}  // namespace

bool FindStringResource(const StringResourceBlock* blocks, size_t blockCount, uint32_t id,
                        std::u16string_view* text) {
  const uint32_t number = BlockOf(id);
  for (size_t b = 0; b < blockCount; ++b) {
    const StringResourceBlock& block = blocks[b];
    if (block.Number != number) continue;
    size_t pos = 0;
    for (uint32_t slot = 0;; ++slot) {
      if (pos >= block.UnitCount) return false;
      size_t length = block.Units[pos];
      if (length > block.UnitCount - pos - 1) return false;
      if (slot == id % 16) {
        if (length == 0) return false;
        *text = std::u16string_view(block.Units + pos + 1, length);
        return true;
      }
      pos += 1 + length;
    }
  }
  return false;
}

namespace {

// String `id` of `blocks` as a new BSTR.
BSTR CopyString(const StringResourceBlock* blocks, size_t blockCount, uint32_t id) {
  std::u16string_view text;
  if (!FindStringResource(blocks, blockCount, id, &text)) return nullptr;
  return SysAllocStringLen(text.data(), static_cast<uint32_t>(text.size()));
}

#ifdef _WIN32
// An address inside the library, to find the library's resources.
const char kModuleAnchor = 0;
#endif

}  // namespace

BSTR LoadComponentString(uint32_t id) {
#ifdef _WIN32
  constexpr uint16_t kStringTableType = 6;  // RT_STRING
  const void* data = nullptr;
  size_t size = 0;
  if (!plat::FindModuleResource(&kModuleAnchor, kStringTableType, BlockOf(id), &data, &size)) {
    return nullptr;
  }
  const StringResourceBlock block = {BlockOf(id), static_cast<const char16_t*>(data),
                                     size / sizeof(char16_t)};
  return CopyString(&block, 1, id);
#else
  return CopyString(kBlocks, std::size(kBlocks), id);
#endif
}
