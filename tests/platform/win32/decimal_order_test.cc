// VarDecCmp where Wine's differs from Windows': Wine compares by subtracting,
// and when one side cannot be brought to the other's scale within 96 bits
// it gets the order wrong. Windows compares such values exactly.
#include <gtest/gtest.h>

#include "platform/decimal.h"
#include "tests/support/wine.h"

namespace {

constexpr uint8_t kPlus = 0;

// Sign, scale, the top 32 bits and the low 64 of the 96-bit magnitude (set
// by name: Windows' DECIMAL has unions where the fields are).
DECIMAL Make(uint8_t sign, uint8_t scale, uint32_t hi, uint64_t lo) {
  DECIMAL value{};
  value.sign = sign, value.scale = scale, value.Hi32 = hi, value.Lo64 = lo;
  return value;
}

HRESULT Compare(const DECIMAL& left, const DECIMAL& right) {
  return plat::VarDecCmp(&left, &right);
}

TEST(DecimalOrder, FullMagnitudeAtScale28AgainstASmallerScale) {
  // 3.95... with all 96 bits in use at scale 28, against 14.21: 14.21 at
  // scale 28 would need more than 96 bits.
  const DECIMAL nearFour = Make(kPlus, 28, 0x7F801180, 0xFF007F800100E601ull);
  const DECIMAL fourteen = Make(kPlus, 2, 0, 1421);
  const DECIMAL minusNearFour = Make(DECIMAL_NEG, 28, 0x7F801180, 0xFF007F800100E601ull);
  const DECIMAL minusFourteen = Make(DECIMAL_NEG, 2, 0, 1421);
  // Values that fit a common scale: both agree.
  EXPECT_EQ(Compare(Make(kPlus, 28, 0, 1), Make(kPlus, 2, 0, 1421)), VARCMP_LT);
  if (testsupport::RunningOnWine()) {
    // Wine's gap: the order comes out reversed.
    EXPECT_EQ(Compare(nearFour, fourteen), VARCMP_GT);
    EXPECT_EQ(Compare(minusNearFour, minusFourteen), VARCMP_LT);
  } else {
    EXPECT_EQ(Compare(nearFour, fourteen), VARCMP_LT);
    EXPECT_EQ(Compare(minusNearFour, minusFourteen), VARCMP_GT);
  }
}

}  // namespace
