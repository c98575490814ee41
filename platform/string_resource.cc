#include "platform/string_resource.h"

namespace plat {

bool FindStringResource(const StringResourceBlock* blocks, size_t blockCount, uint32_t id,
                        std::u16string_view* text) {
  const uint32_t number = StringResourceBlockOf(id);
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

}  // namespace plat
