// The resource block format: entries by identifier, and blocks that lie.
#include "platform/string_resource.h"

#include <gtest/gtest.h>

#include <iterator>

namespace {

TEST(StringResource, EmptyAndMalformedEntriesReadAsMissing) {
  // Block 1 (ids 0..15): id 0 "ab", id 1 empty, id 2 "c", the rest empty.
  const char16_t units[] = {2, u'a', u'b', 0, 1, u'c', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  const plat::StringResourceBlock block = {1, units, std::size(units)};
  std::u16string_view text;
  ASSERT_TRUE(plat::FindStringResource(&block, 1, 0, &text));
  EXPECT_EQ(text, u"ab");
  EXPECT_FALSE(plat::FindStringResource(&block, 1, 1, &text));
  ASSERT_TRUE(plat::FindStringResource(&block, 1, 2, &text));
  EXPECT_EQ(text, u"c");
  EXPECT_FALSE(plat::FindStringResource(&block, 1, 15, &text));
  // A length running past the block's end is not read.
  const char16_t truncated[] = {5, u'a'};
  const plat::StringResourceBlock bad = {1, truncated, std::size(truncated)};
  EXPECT_FALSE(plat::FindStringResource(&bad, 1, 0, &text));
  EXPECT_FALSE(plat::FindStringResource(&bad, 1, 3, &text));
}

}  // namespace
