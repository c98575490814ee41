#include <gtest/gtest.h>

#include <cstring>
#include <iterator>

#include "platform/bstr.h"
#include "platform/com.h"
#include "platform/decimal.h"
#include "platform/string_resource.h"
#include "platform/variant.h"

namespace plat {
namespace {

TEST(Bstr, HasByteLengthPrefixTerminatorAndNullMeansEmpty) {
  const char16_t withNul[] = {u'a', u'\0', u'b'};
  Bstr text(std::u16string_view(withNul, 3));
  uint32_t prefix;
  std::memcpy(&prefix, reinterpret_cast<const char*>(text.Get()) - 4, sizeof(prefix));
  EXPECT_EQ(prefix, 6u);
  EXPECT_EQ(SysStringLen(text.Get()), 3u);
  EXPECT_EQ(text.Get()[3], u'\0');
  Bstr zeroed;
  *zeroed.Put() = SysAllocStringLen(nullptr, 2);
  EXPECT_EQ(zeroed.View(), std::u16string_view(u"\0\0", 2));

  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  EXPECT_EQ(SysAllocStringLen(nullptr, 0x80000000u), nullptr);  // Bytes overflow the prefix.
}

// Every encoded length round-trips; malformed input becomes U+FFFD, and the checked forms say so.
TEST(Utf, RoundTripsAndReplacesMalformedInput) {
  const std::string text =
      "a\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xF0\x90\x80\x80\xF4\x8F\xBF\xBF";
  const std::u16string wide = Utf8ToUtf16(text);
  EXPECT_EQ(wide, (std::u16string{u'a', 0x7F, 0x80, 0x7FF, 0x800, 0xD7FF, 0xE000, 0xD800, 0xDC00,
                                  0xDBFF, 0xDFFF}));
  EXPECT_EQ(Utf16ToUtf8(wide), text);
  const std::pair<std::string, std::u16string> cases[] = {
      {"\xC0\xAF", u"\uFFFD\uFFFD"},                      // Overlong.
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},            // Encoded surrogate.
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // Above U+10FFFF.
      {"\xE2\x82x", u"\uFFFDx"},                          // Truncated.
  };
  for (const auto& [input, expected] : cases) EXPECT_EQ(Utf8ToUtf16(input), expected);
  EXPECT_EQ(Utf16ToUtf8(std::u16string{u'a', 0xDC00, 0xD800}), "a\xEF\xBF\xBD\xEF\xBF\xBD");

  std::u16string checked;
  EXPECT_TRUE(Utf8ToUtf16("\xEF\xBF\xBD", &checked));  // A literal U+FFFD is well formed.
  EXPECT_FALSE(Utf8ToUtf16("ab\xE2\x82", &checked));
  EXPECT_EQ(checked, u"ab\uFFFD");
  std::string narrow = "x";
  EXPECT_FALSE(AppendUtf16AsUtf8(std::u16string(1, char16_t{0xD800}), &narrow));
  EXPECT_EQ(narrow, "x\xEF\xBF\xBD");
}

TEST(Variant, CopiesScalarsBitForBitAndDuplicatesStrings) {
  DECIMAL decimal{};
  decimal.scale = 4;
  decimal.sign = DECIMAL_NEG;
  decimal.Hi32 = 0x12345678u;
  decimal.Lo64 = 0x9ABCDEF012345678ull;
  VARIANT values[6];
  for (VARIANT& v : values) VariantInit(&v);
  values[0].vt = VT_R8, values[0].dblVal = -2.5;
  values[1].vt = VT_R4, values[1].fltVal = 0.25f;
  values[2].vt = VT_UI1, values[2].bVal = 200;
  values[3].vt = VT_I8, values[3].llVal = INT64_MIN;
  values[4].vt = VT_DATE, values[4].date = 45000.75;
  SetDecimal(&values[5], decimal);
  for (const VARIANT& value : values) {
    Variant copy = Variant::Str(SysAllocString(u"old"));
    ASSERT_EQ(VariantCopy(&copy.Ref(), &value), S_OK) << value.vt;
    EXPECT_EQ(std::memcmp(&copy.Get(), &value, sizeof(VARIANT)), 0) << value.vt;
  }
  const DECIMAL back = GetDecimal(values[5]);
  EXPECT_EQ(plat::VarDecCmp(&back, &decimal), VARCMP_EQ);
  EXPECT_EQ(back.scale, 4);

  // A string is duplicated, not shared: each copy frees its own.
  Variant source = Variant::Str(SysAllocString(u"scratch"));
  Variant copy = Variant::I4(7);
  ASSERT_EQ(VariantCopy(&copy.Ref(), &source.Get()), S_OK);
  EXPECT_NE(copy.Get().bstrVal, source.Get().bstrVal);
  EXPECT_EQ(BstrView(copy.Get().bstrVal), u"scratch");
  EXPECT_EQ(VariantClear(&copy.Ref()), S_OK);
  EXPECT_EQ(copy.Get().vt, VT_EMPTY);
}

TEST(Variant, InterfacesHoldOneReferencePerCopy) {
  struct Counted : IDispatch {
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, OLECHAR**, UINT, LCID, DISPID*) override {
      return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, uint16_t, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                   UINT*) override {
      return E_NOTIMPL;
    }
    ULONG refs = 1;
  } object;
  for (VARTYPE vt : {VT_UNKNOWN, VT_DISPATCH}) {
    VARIANT source;
    VariantInit(&source);
    source.vt = vt;
    if (vt == VT_UNKNOWN)
      source.punkVal = &object;
    else
      source.pdispVal = &object;
    {
      Variant first, second;
      ASSERT_EQ(VariantCopy(&first.Ref(), &source), S_OK);
      ASSERT_EQ(VariantCopy(&second.Ref(), &first.Get()), S_OK);
      ASSERT_EQ(VariantCopy(&second.Ref(), &source), S_OK);  // Replaces its own reference.
      EXPECT_EQ(object.refs, 3u);
    }
    EXPECT_EQ(object.refs, 1u);
    source.punkVal = nullptr;  // A null interface is held and cleared as well.
    Variant empty;
    EXPECT_EQ(VariantCopy(&empty.Ref(), &source), S_OK);
    EXPECT_EQ(VariantClear(&empty.Ref()), S_OK);
  }
}

DECIMAL Make(bool negative, uint8_t scale, uint32_t hi, uint64_t lo) {
  DECIMAL value{};  // Set by field: brace-initialising Windows' DECIMAL cuts Lo64 to 32 bits.
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
  return plat::VarDecCmp(&left, &right);  // Qualified: ADL would find the system's.
}

TEST(VarDecCmp, OrdersAcrossSignsAndScalesExactly) {
  EXPECT_EQ(Compare(Small(-2, 0), Small(-1, 0)), VARCMP_LT);
  EXPECT_EQ(Compare(Small(-10, 1), Small(-1, 0)), VARCMP_EQ);
  EXPECT_EQ(Compare(Small(15, 1), Small(2, 0)), VARCMP_LT);
  EXPECT_EQ(Compare(Small(-15, 1), Small(-2, 0)), VARCMP_GT);
  EXPECT_EQ(Compare(Make(true, 5, 0, 0), Make(false, 0, 0, 0)), VARCMP_EQ);  // -0 equals +0.
  // 10^28 fits 96 bits; 2^96 - 1 scaled by 10^28 needs 190 bits.
  const DECIMAL tenTo28 = Make(false, 28, 0x204FCE5E, 0x3E25026110000000ull);
  EXPECT_EQ(Compare(Small(1, 0), tenTo28), VARCMP_EQ);
  const DECIMAL maxAtScale28 = Make(false, 28, 0xFFFFFFFF, ~0ull);  // 7.92...
  EXPECT_EQ(Compare(Make(false, 0, 0xFFFFFFFF, ~0ull), maxAtScale28), VARCMP_GT);
  EXPECT_EQ(Compare(maxAtScale28, Small(8, 0)), VARCMP_LT);
  EXPECT_EQ(Compare(maxAtScale28, Small(7, 0)), VARCMP_GT);
  EXPECT_EQ(Compare(Make(true, 28, 0xFFFFFFFF, ~0ull), Small(-7, 0)), VARCMP_LT);
  // One unit in the last place at scale 28 still counts.
  EXPECT_EQ(Compare(Make(false, 28, 0x204FCE5E, 0x3E25026110000001ull), Small(1, 0)), VARCMP_GT);
}

TEST(VarDecCmp, RejectsMalformedValues) {
  EXPECT_EQ(Compare(Make(false, 29, 0, 1), Small(1, 0)), E_INVALIDARG);
  DECIMAL badSign = Small(1, 0);
  badSign.sign = 0x01;
  EXPECT_EQ(Compare(badSign, Small(1, 0)), E_INVALIDARG);
  EXPECT_EQ(plat::VarDecCmp(nullptr, &badSign), E_INVALIDARG);
}

// String table blocks: entries by identifier, and blocks that lie.
TEST(StringResource, EmptyAndMalformedEntriesReadAsMissing) {
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
}  // namespace plat
