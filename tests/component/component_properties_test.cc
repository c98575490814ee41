// ProvideComponentProperties: one input, one sorted asynchronous output and
// the five component custom properties, whatever the metadata held before.
#include "tests/component/component_test_support.h"

namespace {

using componenttest::ComponentFixture;
using componenttest::PropertyValue;
using componenttest::Utf8;

struct ExpectedProperty {
  std::u16string name;
  VARTYPE type;
  int32_t value;  // lVal or boolVal; the string default is empty.
  std::u16string description;
};

const std::vector<ExpectedProperty> kExpected = {
    {u"EliminateDuplicates", VT_BOOL, VARIANT_FALSE,
     u"Specifies whether rows with duplicate keys are to be discarded."},
    {u"SortThreads", VT_I4, 0, u"Specifies the number of concurrent sorting threads to use."},
    {u"ScratchAreas", VT_BSTR, 0, u"Specifies paths to auxilliary storage areas."},
    {u"RAMBudget", VT_I4, 0, u"Specifies the committed RAM budget in megabytes."},
    {u"ScratchFileSize", VT_I4, 200,
     u"Suggested size for individual scratch files. This is a guideline, the actual size can be "
     u"smaller or larger."},
};

class ComponentPropertiesTest : public ComponentFixture {
 protected:
  void ExpectShape() {
    EXPECT_EQ(Metadata()->Description(), u"Tolvarine Transformation");
    ASSERT_EQ(Metadata()->Inputs()->Size(), 1u);
    EXPECT_EQ(Input()->Name(), u"Tolvarine Input");
    EXPECT_EQ(Input()->Description(), u"Receives the rows to be sorted");
    ASSERT_EQ(Metadata()->Outputs()->Size(), 1u);
    EXPECT_EQ(Output()->Name(), u"Tolvarine Output");
    EXPECT_EQ(Output()->Description(), u"Outputs the sorted rows");
    EXPECT_EQ(Output()->IsSorted(), VARIANT_TRUE);
    EXPECT_EQ(Output()->SynchronousInputID(), 0);

    auto properties = Properties()->Items();
    ASSERT_EQ(properties.size(), kExpected.size());
    for (size_t i = 0; i < kExpected.size(); ++i) {
      const ExpectedProperty& expected = kExpected[i];
      SCOPED_TRACE(Utf8(expected.name));
      EXPECT_EQ(properties[i]->Name(), expected.name);
      EXPECT_EQ(properties[i]->Description(), expected.description);
      plat::Variant value;
      ASSERT_EQ(properties[i]->CopyValue(value.Put()), S_OK);
      ASSERT_EQ(value.Get().vt, expected.type);
      if (expected.type == VT_BSTR) {
        EXPECT_NE(value.Get().bstrVal, nullptr);
        EXPECT_EQ(SysStringLen(value.Get().bstrVal), 0u);
      } else if (expected.type == VT_BOOL) {
        EXPECT_EQ(value.Get().boolVal, expected.value);
      } else {
        EXPECT_EQ(value.Get().lVal, expected.value);
      }
    }
  }
};

TEST_F(ComponentPropertiesTest, ShapesFreshMetadata) {
  ASSERT_EQ(design_->ProvideComponentProperties(), S_OK);
  ExpectShape();
}

TEST_F(ComponentPropertiesTest, ReplacesInputsOutputsAndItsOwnProperties) {
  for (int i = 0; i < 2; ++i) {
    Metadata()->Inputs()->AddNew();
    Metadata()->Outputs()->AddNew();
  }
  ASSERT_EQ(design_->ProvideComponentProperties(), S_OK);
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
