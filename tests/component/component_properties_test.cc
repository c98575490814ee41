// ProvideComponentProperties: one input, one sorted asynchronous output and
// the five component custom properties, whatever the metadata held before.
#include "tests/component/component_test_support.h"

namespace {

using componenttest::ComponentFixture;

class ComponentPropertiesTest : public ComponentFixture {
 protected:
  void ExpectShape() {
    ASSERT_EQ(Metadata()->Inputs()->Size(), 1u);
    ASSERT_EQ(Metadata()->Outputs()->Size(), 1u);
    EXPECT_EQ(Output()->IsSorted(), VARIANT_TRUE);
    EXPECT_EQ(Output()->SynchronousInputID(), 0);
    // Names, types and defaults hosts set and read; the empty text is a string, not VT_EMPTY.
    const struct {
      std::u16string name;
      VARTYPE type;
      int32_t value;  // lVal or boolVal.
    } expected[] = {{u"EliminateDuplicates", VT_BOOL, VARIANT_FALSE},
                    {u"SortThreads", VT_I4, 0},
                    {u"ScratchAreas", VT_BSTR, 0},
                    {u"RAMBudget", VT_I4, 0},
                    {u"ScratchFileSize", VT_I4, 200}};
    auto properties = Properties()->Items();
    ASSERT_EQ(properties.size(), std::size(expected));
    for (size_t i = 0; i < properties.size(); ++i) {
      EXPECT_EQ(properties[i]->Name(), expected[i].name);
      plat::Variant value;
      ASSERT_EQ(properties[i]->CopyValue(value.Put()), S_OK);
      const VARIANT& v = value.Get();
      ASSERT_EQ(v.vt, expected[i].type) << i;
      if (v.vt == VT_BSTR) {
        EXPECT_TRUE(v.bstrVal && SysStringLen(v.bstrVal) == 0);
      } else {
        EXPECT_EQ(v.vt == VT_BOOL ? v.boolVal : v.lVal, expected[i].value) << i;
      }
    }
  }
};

TEST_F(ComponentPropertiesTest, ReplacesInputsOutputsAndItsOwnProperties) {
  ASSERT_EQ(design_->ProvideComponentProperties(), S_OK);
  ExpectShape();
  Metadata()->Inputs()->AddNew();
  Metadata()->Outputs()->AddNew();
  const int32_t firstInputID = Input()->Id();
  host::AddCustomProperty(*Properties(), u"HostOwned", plat::Variant::I4(5).Get());
  // The user's settings are reset to the defaults by a second call, which
  // keeps one property of each name.
  ASSERT_EQ(SetProperty(u"SortThreads", plat::Variant::I4(7).Get()), S_OK);
  ASSERT_EQ(SetProperty(u"ScratchAreas", plat::Variant::Str(SysAllocString(u"/x")).Get()), S_OK);
  ASSERT_EQ(design_->ProvideComponentProperties(), S_OK);
  // Properties of other names stay where they are.
  ASSERT_TRUE(Properties()->Remove(Properties()->FindByName(u"HostOwned")->Id()));
  ExpectShape();
  EXPECT_NE(Input()->Id(), firstInputID);
}

TEST_F(ComponentPropertiesTest, WithoutMetadataFailsInsteadOfCrashing) {
  ASSERT_EQ(runtime_->put_ComponentMetaData(nullptr), S_OK);
  EXPECT_EQ(design_->ProvideComponentProperties(), E_UNEXPECTED);
  EXPECT_EQ(runtime_->PreExecute(), E_UNEXPECTED);
  EXPECT_EQ(design_->SetUsageType(1, nullptr, 1, UT_READONLY, nullptr), E_UNEXPECTED);
  EXPECT_EQ(design_->PerformUpgrade(2), E_UNEXPECTED);
}

}  // namespace
