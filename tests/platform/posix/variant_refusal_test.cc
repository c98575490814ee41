// Our own VARIANT refuses what it cannot hold (references, arrays, records)
// and leaves the destination as it was. On Windows the system's VARIANT
// functions hold them all.
#include <gtest/gtest.h>

#include <cstdint>

#include "platform/bstr.h"
#include "platform/variant.h"

namespace plat {
namespace {

TEST(Variant, RefusesUnsupportedTypesLeavingTheDestination) {
  Variant source = Variant::Str(SysAllocString(u"scratch"));
  Variant copy;
  ASSERT_EQ(VariantCopy(&copy.Ref(), &source.Get()), S_OK);
  int32_t referenced = 5;
  for (VARTYPE refused : {VARTYPE(VT_BYREF | VT_I4), VARTYPE(VT_ARRAY | VT_I4), VARTYPE(VT_RECORD),
                          VARTYPE(VT_VARIANT), VARTYPE(99)}) {
    VARIANT bad;
    VariantInit(&bad);
    bad.vt = refused;
    bad.llVal = reinterpret_cast<intptr_t>(&referenced);
    EXPECT_EQ(VariantCopy(&copy.Ref(), &bad), DISP_E_BADVARTYPE) << refused;
    EXPECT_EQ(VariantClear(&bad), DISP_E_BADVARTYPE) << refused;
  }
  EXPECT_EQ(BstrView(copy.Get().bstrVal), u"scratch");  // Left as it was.
}

}  // namespace
}  // namespace plat
