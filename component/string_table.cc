// The component's string table and its loader. The blocks are laid out
// here at compile time in the resource format; on Windows the library's own
// string-table resources, which the resource compiler makes from the same
// texts, are read in their place.
#include "component/string_table.h"

#include <array>
#include <iterator>

#include "platform/string_resource.h"

namespace {

using plat::StringResourceBlock;
using plat::StringResourceBlockOf;

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
    if (StringResourceBlockOf(entry.Id) == block) units += entry.Text.size();
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

constexpr auto kBlock7 = EncodeBlock<StringResourceBlockOf(IDS_PROJNAME)>();
constexpr auto kBlock8 = EncodeBlock<StringResourceBlockOf(IDS_SCRATCH_FILE_SIZE)>();
static_assert(StringResourceBlockOf(IDS_PROJNAME) == 7 &&
              StringResourceBlockOf(IDS_SCRATCH_FILE_SIZE) == 8);

constexpr StringResourceBlock kBlocks[] = {
    {7, kBlock7.data(), kBlock7.size()},
    {8, kBlock8.data(), kBlock8.size()},
};

// An address inside the library, to find the library's resources.
const char kModuleAnchor = 0;

}  // namespace

BSTR LoadComponentString(uint32_t id) {
  std::u16string_view text;
  if (!plat::LoadModuleString(&kModuleAnchor, kBlocks, std::size(kBlocks), id, &text)) {
    return nullptr;
  }
  return SysAllocStringLen(text.data(), static_cast<uint32_t>(text.size()));
}
