// Component properties set by a host with any automation type: the setter
// stores what it is given, and pre-execution refuses what it cannot use.
#include "tests/component/component_test_support.h"

namespace {

using componenttest::ComponentFixture;
using plat::Variant;

class PropertyTypesTest : public ComponentFixture {
 protected:
  void SetUp() override {
    Shape({{.name = u"key", .dataType = DT_I4}});
    ASSERT_EQ(Use(0, UT_READONLY), S_OK);
    ASSERT_EQ(SetColumnProperty(0, u"NewSortKeyPosition", Variant::I4(1).Get()), S_OK);
    ASSERT_EQ(pipeline_->PrepareBufferTypes(), S_OK);
  }
};

struct CountedUnknown final : IUnknown {
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  ULONG refs = 1;
};

TEST_F(PropertyTypesTest, ForeignTypesAreStoredAndRefusedAtPreExecution) {
  CountedUnknown object;
  VARIANT values[8];
  for (VARIANT& v : values) VariantInit(&v);
  values[0].vt = VT_R8, values[0].dblVal = 64.0;
  values[1].vt = VT_R4, values[1].fltVal = 64.0f;
  values[2].vt = VT_UI4, values[2].ulVal = 64;
  values[3].vt = VT_I8, values[3].llVal = 64;
  values[4].vt = VT_UI1, values[4].bVal = 64;
  values[5].vt = VT_DATE, values[5].date = 64.0;
  SetDecimal(&values[6], DECIMAL{0, 0, 0, 0, 64});
  values[7].vt = VT_UNKNOWN, values[7].punkVal = &object;
  for (const VARIANT& value : values) {
    ASSERT_EQ(SetProperty(u"RAMBudget", value), S_OK) << value.vt;
    EXPECT_EQ(componenttest::PropertyValue(*Properties(), u"RAMBudget").Get().vt, value.vt);
    EXPECT_EQ(runtime_->PreExecute(), E_UNEXPECTED) << value.vt;
    EXPECT_EQ(runtime_->PostExecute(), S_OK);
  }
  EXPECT_EQ(object.refs, 2u);  // The stored value holds one reference ...
  ASSERT_EQ(SetProperty(u"RAMBudget", Variant::I4(16).Get()), S_OK);
  EXPECT_EQ(object.refs, 1u);  // ... which goes with it.
  EXPECT_EQ(runtime_->PreExecute(), S_OK);
  EXPECT_EQ(runtime_->PostExecute(), S_OK);
}

// A reference into the caller's memory cannot outlive the call: the property
// keeps its old value.
TEST_F(PropertyTypesTest, ReferencesIntoTheCallersMemoryAreRefused) {
  ASSERT_EQ(SetProperty(u"RAMBudget", Variant::I4(16).Get()), S_OK);
  int32_t budget = 32;
  VARIANT byReference;
  VariantInit(&byReference);
  byReference.vt = VT_BYREF | VT_I4;
  byReference.llVal = reinterpret_cast<intptr_t>(&budget);
  EXPECT_EQ(SetProperty(u"RAMBudget", byReference), DISP_E_BADVARTYPE);
  EXPECT_EQ(componenttest::IntValue(*Properties(), u"RAMBudget"), 16);
}

}  // namespace
