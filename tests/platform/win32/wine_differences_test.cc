// Where Wine's answers differ from Windows': each test checks what Windows does, and under Wine
// says so and checks what Wine does.
#include <gtest/gtest.h>

#include <string>

#include "platform/com_types.h"
#include "platform/decimal.h"
#include "platform/string_compare.h"
#include "tests/support/wine.h"

namespace {

constexpr uint32_t kIgnoreKanaType = 0x10000;  // NORM_IGNOREKANATYPE

int Compare(uint32_t flags, const std::u16string& left, const std::u16string& right) {
  return plat::CompareStringW(flags, left.c_str(), right.c_str());
}

// Windows orders a hiragana letter before its katakana twin (unless NORM_IGNOREKANATYPE); Wine 8
// the other way round.
TEST(KanaOrder, HiraganaFirstOnWindowsKatakanaFirstOnWine) {
  const std::u16string hiragana = u"\u3042", katakana = u"\u30A2";  // Both "a".
  EXPECT_EQ(Compare(kIgnoreKanaType, hiragana, katakana), plat::CSTR_EQUAL);
  if (testsupport::RunningOnWine()) {
    EXPECT_EQ(Compare(0, hiragana, katakana), plat::CSTR_GREATER_THAN);  // Wine's gap.
  } else {
    EXPECT_EQ(Compare(0, hiragana, katakana), plat::CSTR_LESS_THAN);
  }
  EXPECT_EQ(Compare(0, u"z", hiragana), plat::CSTR_LESS_THAN);  // Both: kana after Latin.
}

constexpr uint8_t kPlus = 0;

// Set by field name: Windows' DECIMAL has unions where the fields are.
DECIMAL Make(uint8_t sign, uint8_t scale, uint32_t hi, uint64_t lo) {
  DECIMAL value{};
  value.sign = sign, value.scale = scale, value.Hi32 = hi, value.Lo64 = lo;
  return value;
}

HRESULT Compare(const DECIMAL& left, const DECIMAL& right) {
  return plat::VarDecCmp(&left, &right);
}

// Wine's VarDecCmp subtracts, and misorders values that cannot share a scale within 96 bits;
// Windows compares them exactly.
TEST(DecimalOrder, FullMagnitudeAtScale28AgainstASmallerScale) {
  // 3.95... using all 96 bits at scale 28, against 14.21 (which needs more than 96 at scale 28).
  const DECIMAL nearFour = Make(kPlus, 28, 0x7F801180, 0xFF007F800100E601ull);
  const DECIMAL fourteen = Make(kPlus, 2, 0, 1421);
  const DECIMAL minusNearFour = Make(DECIMAL_NEG, 28, 0x7F801180, 0xFF007F800100E601ull);
  const DECIMAL minusFourteen = Make(DECIMAL_NEG, 2, 0, 1421);
  if (testsupport::RunningOnWine()) {
    EXPECT_EQ(Compare(nearFour, fourteen), VARCMP_GT);  // Wine's gap: reversed.
    EXPECT_EQ(Compare(minusNearFour, minusFourteen), VARCMP_LT);
  } else {
    EXPECT_EQ(Compare(nearFour, fourteen), VARCMP_LT);
    EXPECT_EQ(Compare(minusNearFour, minusFourteen), VARCMP_GT);
  }
}

}  // namespace
