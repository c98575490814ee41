// Hiragana against katakana, where Wine's collation tables differ from
// Windows': Windows orders a hiragana letter before its katakana twin unless
// NORM_IGNOREKANATYPE is given; Wine 8 orders them the other way round.
#include <gtest/gtest.h>

#include <string>

#include "platform/com_types.h"
#include "platform/string_compare.h"
#include "tests/support/wine.h"

namespace {

constexpr uint32_t kIgnoreKanaType = 0x10000;  // NORM_IGNOREKANATYPE

int Compare(uint32_t flags, const std::u16string& left, const std::u16string& right) {
  return plat::CompareStringW(flags, left.c_str(), right.c_str());
}

TEST(KanaOrder, HiraganaFirstOnWindowsKatakanaFirstOnWine) {
  const std::u16string hiragana = u"\u3042", katakana = u"\u30A2";  // Both "a".
  EXPECT_EQ(Compare(kIgnoreKanaType, hiragana, katakana), plat::CSTR_EQUAL);
  if (testsupport::RunningOnWine()) {
    // Wine's gap: the kana type counts, but katakana comes first.
    EXPECT_EQ(Compare(0, hiragana, katakana), plat::CSTR_GREATER_THAN);
    EXPECT_EQ(Compare(0, katakana, hiragana), plat::CSTR_LESS_THAN);
  } else {
    EXPECT_EQ(Compare(0, hiragana, katakana), plat::CSTR_LESS_THAN);
    EXPECT_EQ(Compare(0, katakana, hiragana), plat::CSTR_GREATER_THAN);
  }
  // What both agree on: the kana sort after Latin letters, kana type or not.
  EXPECT_EQ(Compare(0, u"a", hiragana), plat::CSTR_LESS_THAN);
  EXPECT_EQ(Compare(kIgnoreKanaType, u"z", katakana), plat::CSTR_LESS_THAN);
}

}  // namespace
