#include "platform/string_compare.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/bstr.h"
#include "platform/com_types.h"

namespace {

using plat::CSTR_EQUAL;
using plat::CSTR_GREATER_THAN;
using plat::CSTR_LESS_THAN;

int CompareW(uint32_t flags, const std::u16string& left, const std::u16string& right) {
  return plat::CompareStringW(flags, left.c_str(), right.c_str());
}

TEST(CompareString, FlagsSelectWhatCounts) {
  struct Case {
    uint32_t flags;
    std::u16string left, right;
    int expected;
  };
  const Case cases[] = {
      {0x0, u"ABC", u"abc", CSTR_GREATER_THAN},
      {0x1, u"ABC", u"abc", CSTR_EQUAL},                          // NORM_IGNORECASE
      {0x10, u"ABC", u"abc", CSTR_EQUAL},                         // LINGUISTIC_IGNORECASE
      {0x1, u"resume", u"r\u00e9sum\u00e9", CSTR_LESS_THAN},      // Diacritics still count.
      {0x20, u"Resume", u"r\u00e9sum\u00e9", CSTR_GREATER_THAN},  // Case still counts.
      {0x3, u"Resume", u"r\u00e9sum\u00e9", CSTR_EQUAL},          // | NORM_IGNORENONSPACE
      {0x4, u"a.b c", u"abc", CSTR_EQUAL},                        // NORM_IGNORESYMBOLS
      {0x8, u"a10", u"a9", CSTR_GREATER_THAN},                    // SORT_DIGITSASNUMBERS
      {0x0, u"a10", u"a9", CSTR_LESS_THAN},
      {0x20000, u"\uFF21", u"A", CSTR_EQUAL},       // NORM_IGNOREWIDTH: full-width A
      {0x10000, u"\u3042", u"\u30A2", CSTR_EQUAL},  // NORM_IGNOREKANATYPE (win32/kana_order_test)
      // Word sort files "co-op" as "coop"; string sort puts "-" before letters.
      {0x0, u"co-op", u"coin", CSTR_GREATER_THAN},
      {0x1000, u"co-op", u"coin", CSTR_LESS_THAN},
  };
  for (const Case& c : cases) {
    const std::string left = plat::Utf16ToUtf8(c.left), right = plat::Utf16ToUtf8(c.right);
    SCOPED_TRACE(testing::Message() << c.flags << " " << left << " " << right);
    EXPECT_EQ(CompareW(c.flags, c.left, c.right), c.expected);
    EXPECT_EQ(CompareW(c.flags, c.right, c.left), 4 - c.expected);
    if (std::all_of(c.left.begin(), c.left.end(), [](char16_t u) { return u < 0x80; }) &&
        std::all_of(c.right.begin(), c.right.end(), [](char16_t u) { return u < 0x80; })) {
      EXPECT_EQ(plat::CompareStringA(c.flags, left.c_str(), right.c_str()), c.expected);
    }
  }
  // Windows-1252 bytes: 0x8A is S caron, 0xE9 e acute.
  EXPECT_EQ(plat::CompareStringA(0x2, "\x8A\xE9", "Se"), CSTR_EQUAL);
}

TEST(CompareString, FailsOnUndefinedFlagsAndNullStrings) {
  for (uint32_t flags : {0x40u, 0x80000000u}) {
    plat::SetLastError(0);
    EXPECT_EQ(plat::CompareStringA(flags, "a", "b"), 0);
    EXPECT_EQ(plat::GetLastError(), 1004u);  // ERROR_INVALID_FLAGS
    plat::SetLastError(0);
    EXPECT_EQ(plat::CompareStringW(flags, u"a", u"b"), 0);
    EXPECT_EQ(plat::GetLastError(), 1004u);
  }
  EXPECT_EQ(plat::CompareStringW(0, nullptr, u"a"), 0);
}

// Sorting needs a total order under every flags value.
TEST(CompareString, EveryFlagsValueGivesATotalOrder) {
  const char16_t* pieces[] = {u"a", u"A", u"b", u"\u00e9", u"-", u"'", u" ", u"1", u"\uFF41"};
  std::mt19937 random(7);
  std::vector<std::u16string> words(40);
  for (auto& word : words) {
    for (int n = random() % 5; n >= 0; --n) word += pieces[random() % 9];
  }
  for (uint32_t flags : {0x0u, 0x1u, 0x2u, 0x3u, 0x4u, 0x8u, 0x1000u, 0x20000u}) {
    SCOPED_TRACE(flags);
    std::stable_sort(words.begin(), words.end(), [flags](const auto& l, const auto& r) {
      return CompareW(flags, l, r) == CSTR_LESS_THAN;
    });
    for (size_t i = 0; i < words.size(); ++i) {
      for (size_t j = i; j < words.size(); ++j) {
        const int order = CompareW(flags, words[i], words[j]);
        ASSERT_NE(order, CSTR_GREATER_THAN);
        ASSERT_EQ(CompareW(flags, words[j], words[i]), 4 - order);
      }
    }
  }
}

TEST(CompareString, ThreadsShareTheCollatorOfAFlagsValue) {
  // A flags value no other test uses, so the threads race to create its collator.
  std::vector<std::thread> threads;
  std::vector<int> greater(4);
  for (int& count : greater) {
    threads.emplace_back([&count] {
      for (int i = 0; i < 50; ++i) count += plat::CompareStringA(0xD, "A-10", "a9") == 3;
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(greater, std::vector<int>(4, 50));
}

TEST(OrdinalIgnoreCase, FoldsAsciiToLowerCaseOnly) {
  EXPECT_EQ(plat::WcsICmp(u"ABC", u"abc"), 0);
  EXPECT_LT(plat::StrICmp("[", "A"), 0) << "'[' lies between 'Z' and 'a'";
  EXPECT_NE(plat::WcsICmp(u"\u00C9", u"\u00E9"), 0);
  EXPECT_GT(plat::StrICmp("\xFF", "a"), 0) << "code units are unsigned";
}

// Wide values sit wherever the row puts them, odd addresses included: the
// sanitizer build fails on any misaligned read.
TEST(CompareString, WideValuesAtOddAddressesAndLongValues) {
  alignas(2) unsigned char rows[64] = {};
  unsigned char* left = rows + 1;
  unsigned char* right = rows + 33;
  std::memcpy(left, u"Apple", sizeof(u"Apple"));
  std::memcpy(right, u"apple-pie", sizeof(u"apple-pie"));
  const auto* l = reinterpret_cast<const char16_t*>(left);
  const auto* r = reinterpret_cast<const char16_t*>(right);
  EXPECT_LT(plat::WcsICmp(l, r), 0);
  EXPECT_EQ(plat::CompareStringW(0, l, r), plat::CSTR_LESS_THAN);
  // Long values are compared to the end.
  const std::string a = std::string(5000, 'x') + "a-b", b = std::string(5000, 'x') + "a-c";
  EXPECT_EQ(plat::CompareStringA(0, a.c_str(), b.c_str()), CSTR_LESS_THAN);
  EXPECT_EQ(plat::CompareStringW(plat::SORT_STRINGSORT, r, l), plat::CSTR_GREATER_THAN);
}

TEST(Cp1252, MapsEveryByteAndBack) {
  EXPECT_EQ(plat::Cp1252ToUtf16(0x80), u'\u20AC');
  for (int byte = 0; byte < 256; ++byte) {
    unsigned char back = 0;
    ASSERT_TRUE(plat::Utf16ToCp1252(plat::Cp1252ToUtf16(byte), &back));
    EXPECT_EQ(back, byte);
  }
  unsigned char unused;
  EXPECT_FALSE(plat::Utf16ToCp1252(u'\u0080', &unused));  // The byte 0x80 is the euro sign.
}

}  // namespace
