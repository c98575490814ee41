#include "platform/decimal.h"

#include <gtest/gtest.h>

namespace {

DECIMAL Make(bool negative, uint8_t scale, uint32_t hi, uint64_t lo) {
  DECIMAL value{};
  value.scale = scale;
  value.sign = negative ? DECIMAL_NEG : 0;
  value.Hi32 = hi;
  value.Lo64 = lo;
  return value;
}

DECIMAL Small(int64_t number, uint8_t scale) {
  return Make(number < 0, scale, 0, number < 0 ? 0 - static_cast<uint64_t>(number) : number);
}

HRESULT Compare(const DECIMAL& left, const DECIMAL& right) {
  return plat::VarDecCmp(&left, &right);
}

constexpr uint64_t kAllOnes = ~0ull;

TEST(VarDecCmp, OrdersAcrossSignsAndScales) {
  EXPECT_EQ(Compare(Small(-1, 0), Small(1, 0)), VARCMP_LT);
  EXPECT_EQ(Compare(Small(-2, 0), Small(-1, 0)), VARCMP_LT);
  EXPECT_EQ(Compare(Small(-10, 1), Small(-1, 0)), VARCMP_EQ);
  EXPECT_EQ(Compare(Small(15, 1), Small(2, 0)), VARCMP_LT);
  EXPECT_EQ(Compare(Small(-15, 1), Small(-2, 0)), VARCMP_GT);
  // -0 equals +0 at any scale; zero against a negative or positive value.
  EXPECT_EQ(Compare(Make(true, 5, 0, 0), Make(false, 0, 0, 0)), VARCMP_EQ);
  EXPECT_EQ(Compare(Make(true, 0, 0, 0), Small(-1, 3)), VARCMP_GT);
  EXPECT_EQ(Compare(Make(true, 0, 0, 0), Small(1, 28)), VARCMP_LT);
}

TEST(VarDecCmp, IsExactForFullMagnitudesAtDistantScales) {
  // 10^28 = 0x204FCE5E_3E250261_10000000 fits 96 bits: 1 at scale 0 equals it
  // at scale 28; a magnitude of 2^96 - 1 scaled by 10^28 needs 190 bits.
  const DECIMAL tenTo28 = Make(false, 28, 0x204FCE5E, 0x3E25026110000000ull);
  EXPECT_EQ(Compare(Small(1, 0), tenTo28), VARCMP_EQ);
  EXPECT_EQ(Compare(tenTo28, Small(1, 0)), VARCMP_EQ);
  const DECIMAL maxAtScale0 = Make(false, 0, 0xFFFFFFFF, kAllOnes);
  const DECIMAL maxAtScale28 = Make(false, 28, 0xFFFFFFFF, kAllOnes);  // 7.92...
  EXPECT_EQ(Compare(maxAtScale0, maxAtScale28), VARCMP_GT);
  EXPECT_EQ(Compare(maxAtScale28, Small(8, 0)), VARCMP_LT);
  EXPECT_EQ(Compare(maxAtScale28, Small(7, 0)), VARCMP_GT);
  EXPECT_EQ(Compare(Make(true, 28, 0xFFFFFFFF, kAllOnes), Small(-7, 0)), VARCMP_LT);
  // One unit in the last place at scale 28 still counts.
  EXPECT_EQ(Compare(Make(false, 28, 0x204FCE5E, 0x3E25026110000001ull), Small(1, 0)), VARCMP_GT);
}

TEST(VarDecCmp, RejectsMalformedValues) {
  EXPECT_EQ(Compare(Make(false, 29, 0, 1), Small(1, 0)), E_INVALIDARG);
  EXPECT_EQ(Compare(Small(1, 0), Make(false, 255, 0, 1)), E_INVALIDARG);
  DECIMAL badSign = Small(1, 0);
  badSign.sign = 0x01;
  EXPECT_EQ(Compare(badSign, Small(1, 0)), E_INVALIDARG);
  EXPECT_EQ(plat::VarDecCmp(nullptr, &badSign), E_INVALIDARG);
  EXPECT_EQ(Compare(Make(false, 28, 0, 1), Make(false, 28, 0, 1)), VARCMP_EQ);
}

}  // namespace
