#include "platform/posix/system_locale.h"

#include <gtest/gtest.h>

namespace {

TEST(SystemLocale, TakesTheFirstSetVariableWithoutCodeset) {
  EXPECT_EQ(plat::CollationLocaleName("de_DE.UTF-8", "fr_FR", "sv_SE"), "de_DE");
  EXPECT_EQ(plat::CollationLocaleName("", "fr_FR@euro", nullptr), "fr_FR");
  EXPECT_EQ(plat::CollationLocaleName(nullptr, nullptr, nullptr), "en_US");
  EXPECT_EQ(plat::CollationLocaleName("C.UTF-8", "fr_FR", nullptr), "en_US");
  EXPECT_EQ(plat::CollationLocaleName(nullptr, "POSIX", "fr_FR"), "en_US");
}

}  // namespace
