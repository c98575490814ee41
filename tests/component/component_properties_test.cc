// ProvideComponentProperties: one input, one sorted asynchronous output and
// the component's own properties once each, whatever the metadata held before.
#include "tests/component/component_test_support.h"

namespace {

using ComponentPropertiesTest = componenttest::ComponentFixture;

TEST_F(ComponentPropertiesTest,
       ProvideComponentPropertiesReplacesInputsOutputsAndItsOwnProperties) {
  const std::pair<std::u16string, VARTYPE> expected[] = {{u"EliminateDuplicates", VT_BOOL},
                                                         {u"SortThreads", VT_I4},
                                                         {u"ScratchAreas", VT_BSTR},
                                                         {u"RAMBudget", VT_I4},
                                                         {u"ScratchFileSize", VT_I4}};
  for (int call = 0; call < 2; ++call) {
    ASSERT_EQ(design_->ProvideComponentProperties(), S_OK);
    ASSERT_EQ(Metadata()->Inputs()->Size(), 1u);
    ASSERT_EQ(Metadata()->Outputs()->Size(), 1u);
    EXPECT_EQ(Output()->IsSorted(), VARIANT_TRUE);
    EXPECT_EQ(Output()->SynchronousInputID(), 0);
    if (call == 1) {  // Settings reset; properties of other names stay where they are.
      EXPECT_EQ(componenttest::IntValue(*Properties(), u"SortThreads"), 0);
      ASSERT_TRUE(Properties()->Remove(Properties()->FindByName(u"HostOwned")->Id()));
    }
    auto properties = Properties()->Items();
    ASSERT_EQ(properties.size(), std::size(expected));
    for (size_t i = 0; i < properties.size(); ++i) {
      plat::Variant value;
      ASSERT_EQ(properties[i]->CopyValue(value.Put()), S_OK);
      EXPECT_EQ(std::pair(properties[i]->Name(), value.Get().vt), expected[i]);
    }
    Metadata()->Inputs()->AddNew();
    Metadata()->Outputs()->AddNew();
    host::AddCustomProperty(*Properties(), u"HostOwned", plat::Variant::I4(5).Get());
    ASSERT_EQ(SetProperty(u"SortThreads", plat::Variant::I4(7).Get()), S_OK);
  }
}

TEST_F(ComponentPropertiesTest, WithoutMetadataFailsInsteadOfCrashing) {
  ASSERT_EQ(runtime_->put_ComponentMetaData(nullptr), S_OK);
  EXPECT_EQ(design_->ProvideComponentProperties(), E_UNEXPECTED);
  EXPECT_EQ(runtime_->PreExecute(), E_UNEXPECTED);
  EXPECT_EQ(design_->SetUsageType(1, nullptr, 1, UT_READONLY, nullptr), E_UNEXPECTED);
}

}  // namespace
