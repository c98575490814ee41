// The string table's resource block format and lookups by identifier.
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
  EXPECT_EQ(Load(108),
            u"Specifies the sort key position that will be set on the columns of the sorted rows.");
  EXPECT_EQ(Load(111), u"Specifies the number of concurrent sorting threads to use.");
  EXPECT_EQ(Load(112), u"Specifies the committed RAM budget in megabytes.");  // Next block.
  EXPECT_EQ(Load(99), u"<null>");  // Same block, no entry.
  EXPECT_EQ(Load(114), u"<null>");
  EXPECT_EQ(Load(1000), u"<null>");  // No such block.
}

TEST(StringTable, EmptyAndMalformedEntriesReadAsMissing) {
  // Block 1 (ids 0..15): id 0 "ab", id 1 empty, id 2 "c", the rest empty.
  const char16_t units[] = {2, u'a', u'b', 0, 1, u'c', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  const StringResourceBlock block = {1, units, std::size(units)};
  std::u16string_view text;
  ASSERT_TRUE(FindStringResource(&block, 1, 0, &text));
  EXPECT_EQ(text, u"ab");
  EXPECT_FALSE(FindStringResource(&block, 1, 1, &text));
  ASSERT_TRUE(FindStringResource(&block, 1, 2, &text));
  EXPECT_EQ(text, u"c");
  EXPECT_FALSE(FindStringResource(&block, 1, 15, &text));
  // A length running past the block's end is not read.
  const char16_t truncated[] = {5, u'a'};
  const StringResourceBlock bad = {1, truncated, std::size(truncated)};
  EXPECT_FALSE(FindStringResource(&bad, 1, 0, &text));
  EXPECT_FALSE(FindStringResource(&bad, 1, 3, &text));
}

}  // namespace
