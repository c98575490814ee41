// The component's texts, looked up by identifier across the table's blocks.
#include "component/string_table.h"

#include <gtest/gtest.h>

namespace {

std::u16string Load(uint32_t id) {
  plat::Bstr text;
  *text.Put() = LoadComponentString(id);
  return text.Get() ? std::u16string(text.View()) : u"<null>";
}

TEST(StringTable, LoadsByIdentifierAcrossBlocks) {
  EXPECT_EQ(Load(100), u"Tolvarine");
  EXPECT_EQ(Load(112), u"Specifies the committed RAM budget in megabytes.");  // Next block.
  EXPECT_EQ(Load(99), u"<null>");    // Same block, no entry.
  EXPECT_EQ(Load(1000), u"<null>");  // No such block.
}

}  // namespace
