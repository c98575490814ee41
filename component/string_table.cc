// The component's string table, laid out at compile time in the resource
// block format, and its loader.
#include "component/string_table.h"

#include <array>
#include <iterator>

namespace {

struct StringEntry {
  uint32_t Id;
  std::u16string_view Text;
};

// Texts shown to the designer's user: names and descriptions of the input,
// the output, the component and its custom properties. The Windows build
// carries the same table in tolvarine.rc.
constexpr StringEntry kStrings[] = {
    {IDS_PROJNAME, u"Tolvarine"},
    {IDS_INPUT_NAME, u"Tolvarine Input"},
    {IDS_OUTPUT_NAME, u"Tolvarine Output"},
    {IDS_INPUT_DESCRIPTION, u"Receives the rows to be sorted"},
    {IDS_OUTPUT_DESCRIPTION, u"Outputs the sorted rows"},
    {IDS_COMPONENT_DESCRIPTION, u"Tolvarine Transformation"},
    {IDS_ELIMINATE_DUPLICATES, u"Specifies whether rows with duplicate keys are to be discarded."},
    {IDS_NEW_COMPARISON_FLAGS,
     u"Specifies the comparison flags that will be set on the columns of the sorted rows."},
    {IDS_NEW_SORT_KEY_POSITION,
     u"Specifies the sort key position that will be set on the columns of the sorted rows."},
    {IDS_SORT_COLUMN_ID,
     u"Specifies lineage ID of the input column originating data for this column."},
    {IDS_SCRATCH_AREAS, u"Specifies paths to auxilliary storage areas."},
    {IDS_SORT_THREADS, u"Specifies the number of concurrent sorting threads to use."},
    {IDS_RAM_BUDGET, u"Specifies the committed RAM budget in megabytes."},
    {IDS_SCRATCH_FILE_SIZE,
     u"Suggested size for individual scratch files. This is a guideline, the actual size can be "
     u"smaller or larger."},
};

constexpr uint32_t BlockOf(uint32_t id) {
  return id / 16 + 1;
}

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

BSTR LoadComponentString(uint32_t id) {
  std::u16string_view text;
  if (!FindStringResource(kBlocks, std::size(kBlocks), id, &text)) return nullptr;
  return SysAllocStringLen(text.data(), static_cast<uint32_t>(text.size()));
}
