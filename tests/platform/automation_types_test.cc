#include <gtest/gtest.h>

#include <cstring>

#include "platform/bstr.h"
#include "platform/com.h"
#include "platform/decimal.h"
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

TEST(Utf, RoundTripsEveryEncodedLength) {
  const std::string text =
      "a\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xF0\x90\x80\x80\xF4\x8F\xBF\xBF";
  const std::u16string wide = Utf8ToUtf16(text);
  EXPECT_EQ(wide, (std::u16string{u'a', 0x7F, 0x80, 0x7FF, 0x800, 0xD7FF, 0xE000, 0xD800, 0xDC00,
                                  0xDBFF, 0xDFFF}));
  EXPECT_EQ(Utf16ToUtf8(wide), text);
}

TEST(Utf, InvalidInputBecomesReplacementCharacters) {
  const std::pair<std::string, std::u16string> cases[] = {
      {"\x80", u"\uFFFD"},                                // Stray continuation.
      {"\xC0\xAF", u"\uFFFD\uFFFD"},                      // Overlong.
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},            // Encoded surrogate.
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // Above U+10FFFF.
      {"\xE2\x82x", u"\uFFFDx"},                          // Truncated.
      {"\xF0\x9F\x98", u"\uFFFD"},                        // Truncated at the end.
  };
  for (const auto& [input, expected] : cases) EXPECT_EQ(Utf8ToUtf16(input), expected);
  EXPECT_EQ(Utf16ToUtf8(std::u16string{u'a', 0xDC00, 0xD800}), "a\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(Variant, CopyDuplicatesStrings) {
  Variant source = Variant::Str(SysAllocString(u"scratch"));
  Variant copy = Variant::I4(7);
  ASSERT_EQ(VariantCopy(&copy.Ref(), &source.Get()), S_OK);
  EXPECT_NE(copy.Get().bstrVal, source.Get().bstrVal);
  EXPECT_EQ(BstrView(copy.Get().bstrVal), u"scratch");
  EXPECT_EQ(VariantClear(&copy.Ref()), S_OK);
  EXPECT_EQ(copy.Get().vt, VT_EMPTY);
}

TEST(Variant, CopiesEveryScalarTypeBitForBit) {
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
  EXPECT_EQ(VarDecCmp(&back, &decimal), VARCMP_EQ);
  EXPECT_EQ(back.scale, 4);
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

TEST(Guid, RoundTripsAndRejectsMalformedText) {
  const GUID guid = {0x0123ABCD, 0x4567, 0x89EF, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};
  EXPECT_EQ(GuidToString(guid), u"{0123ABCD-4567-89EF-0123-456789ABCDEF}");
  GUID parsed{};
  ASSERT_TRUE(GuidFromString(u"{0123abcd-4567-89ef-0123-456789AbCdEf}", &parsed));
  EXPECT_EQ(parsed, guid);
  for (const char16_t* bad :
       {u"0123ABCD-4567-89EF-0123-456789ABCDEF", u"{0123ABCD-4567-89EF-0123-456789ABCDEF",
        u"{0123ABCD-4567-89EF-0123-456789ABCDEF}x", u"{0123ABCD-4567-89EF-0123-456789ABCDEG}",
        u"{0123ABCD-4567-89EF-0123456789ABCDEF0}", u""}) {
    EXPECT_FALSE(GuidFromString(bad, &parsed)) << Utf16ToUtf8(bad);
  }
}

}  // namespace
}  // namespace plat

TEST(Utf, CheckedConversionsTellWhetherAnythingWasReplaced) {
  std::u16string wide;
  EXPECT_TRUE(plat::Utf8ToUtf16("gr\xC3\xBC\xC3\x9F \xF0\x9F\x98\x80", &wide));
  EXPECT_EQ(wide, u"gr\u00FC\u00DF \U0001F600");
  // A literal U+FFFD is well formed; a truncated sequence is not.
  EXPECT_TRUE(plat::Utf8ToUtf16("\xEF\xBF\xBD", &wide));
  EXPECT_FALSE(plat::Utf8ToUtf16("ab\xE2\x82", &wide));
  EXPECT_EQ(wide, u"ab\uFFFD");
  std::string narrow = "x";
  EXPECT_TRUE(plat::AppendUtf16AsUtf8(u"\U0001F600", &narrow));
  EXPECT_EQ(narrow, "x\xF0\x9F\x98\x80");
  EXPECT_FALSE(plat::AppendUtf16AsUtf8(std::u16string(1, char16_t{0xD800}), &narrow));
  EXPECT_EQ(narrow, "x\xF0\x9F\x98\x80\xEF\xBF\xBD");
}
