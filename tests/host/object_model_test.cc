#include <gtest/gtest.h>

#include <tuple>

#include "host/pipeline_host.h"

namespace host {
namespace {

VARIANT Position(int32_t i) {
  return plat::Variant::I4(i).Get();
}  // Owns nothing.

class ObjectModelTest : public ::testing::Test {
 protected:
  void TearDown() override {
    pipeline_.reset();
    EXPECT_EQ(LiveObjectCount(), baseline_) << "a host object was leaked";
  }
  int64_t baseline_ = LiveObjectCount();
  std::unique_ptr<Pipeline> pipeline_ = std::make_unique<Pipeline>();
};

TEST_F(ObjectModelTest, CollectionLooksUpByPositionNameAndIdAndAnswersNotFound) {
  CustomPropertyCollection& properties = *pipeline_->Metadata()->Properties();
  plat::Variant one = plat::Variant::I4(1);
  ComPtr<CustomProperty> first = AddCustomProperty(properties, u"Alpha", one.Get());
  ComPtr<CustomProperty> second = AddCustomProperty(properties, u"Beta", one.Get());
  ComPtr<CustomProperty> shadow = AddCustomProperty(properties, u"Beta", one.Get());
  IDTSCustomPropertyCollection90* collection = &properties;
  auto item = [&](const VARIANT& at) {
    ComPtr<IDTSCustomProperty90> found;
    const HRESULT hr = collection->get_Item(at, found.Put());
    EXPECT_EQ(SUCCEEDED(hr), static_cast<bool>(found));
    return static_cast<IDTSCustomProperty90*>(found.Get());  // Still held by the collection.
  };
  // By name: exact, first match in collection order; case matters.
  plat::Variant beta = plat::Variant::Str(SysAllocString(u"Beta"));
  plat::Variant lower = plat::Variant::Str(SysAllocString(u"beta"));
  EXPECT_EQ(item(Position(1)), second.Get());
  EXPECT_EQ(item(beta.Get()), second.Get());
  EXPECT_EQ(item(lower.Get()), nullptr);
  EXPECT_EQ(item(Position(3)), nullptr);
  EXPECT_EQ(item(Position(-1)), nullptr);
  ComPtr<IDTSCustomProperty90> byID;
  ASSERT_EQ(collection->GetObjectByID(first->Id(), byID.Put()), S_OK);
  EXPECT_EQ(byID.Get(), first.Get());
  EXPECT_EQ(collection->GetObjectByID(987654, byID.Put()), DTS_E_ELEMENTNOTFOUND);
  EXPECT_EQ(collection->RemoveObjectByID(987654), DTS_E_ELEMENTNOTFOUND);
  // Removing by ID keeps the order of the rest.
  ASSERT_EQ(collection->RemoveObjectByID(second->Id()), S_OK);
  EXPECT_EQ(item(Position(1)), shadow.Get());
  EXPECT_EQ(item(beta.Get()), shadow.Get());
}

TEST_F(ObjectModelTest, ReferencesOutliveTheirParentAndQueryInterfaceClearsOnRefusal) {
  ComPtr<IDTSOutputColumn90> column;
  {
    ComPtr<Output> output = pipeline_->Metadata()->Outputs()->AddNew();
    ASSERT_EQ(output->Columns()->New(column.Put()), S_OK);
    void* other = reinterpret_cast<void*>(1);
    EXPECT_EQ(output->QueryInterface(IID_IDTSInput90, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
    EXPECT_EQ(output->QueryInterface(IID_IDTSOutput90, nullptr), E_POINTER);
    pipeline_->Metadata()->Outputs()->Clear();
  }
  // The column stays usable after its output and collection let it go.
  ASSERT_EQ(column->SetDataTypeProperties(DT_WSTR, 10, 0, 0, 0), S_OK);
  int32_t length = 0;
  ASSERT_EQ(column->get_Length(&length), S_OK);
  EXPECT_EQ(length, 10);
}

TEST_F(ObjectModelTest, PropertyValuesAreDeepCopiesAndRefusedTypesChangeNothing) {
  ComPtr<CustomProperty> property = CustomProperty::CreateNew(pipeline_->Ids());
  plat::Variant in = plat::Variant::Str(SysAllocString(u"C:\\scratch"));
  ASSERT_EQ(property->put_Value(in.Get()), S_OK);
  in.Get().bstrVal[0] = u'X';  // The caller still owns and may change its string.
  for (int i = 0; i < 2; ++i) {
    plat::Variant out;
    ASSERT_EQ(property->get_Value(out.Put()), S_OK);
    ASSERT_EQ(out.Get().vt, VT_BSTR);
    EXPECT_EQ(plat::BstrView(out.Get().bstrVal), u"C:\\scratch");
  }

  ComPtr<OutputColumn> column = OutputColumn::CreateNew(pipeline_->Ids());
  ASSERT_EQ(column->SetDataTypeProperties(DT_NUMERIC, 0, 18, 4, 0), S_OK);
  EXPECT_EQ(column->SetDataTypeProperties(DT_STR, 0, 0, 0, 1252), E_INVALIDARG);
  EXPECT_EQ(column->SetDataTypeProperties(DT_NUMERIC, 0, 10, 11, 0), E_INVALIDARG);
  const ColumnSpec kept = column->Attributes();
  EXPECT_EQ(std::tuple(kept.dataType, kept.precision, kept.scale), std::tuple(DT_NUMERIC, 18, 4));
}

class VirtualInputTest : public ObjectModelTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(pipeline_->SetUpstream({{.name = u"id", .dataType = DT_I4},
                                      {.name = u"name", .dataType = DT_STR, .length = 30},
                                      {.name = u"price", .dataType = DT_R8}}),
              S_OK);
    input_ = pipeline_->Metadata()->Inputs()->AddNew();
    pipeline_->AttachUpstream();
    ASSERT_EQ(input_->GetVirtualInput(virtualInput_.Put()), S_OK);
  }
  void TearDown() override {
    input_.Reset();
    virtualInput_.Reset();
    ObjectModelTest::TearDown();
  }
  int32_t UsageOf(IDTSVirtualInputColumnCollection90* columns, int32_t at) {
    ComPtr<IDTSVirtualInputColumn90> column;
    int32_t usage = -1;
    EXPECT_EQ(columns->get_Item(Position(at), column.Put()), S_OK);
    if (column) column->get_UsageType(&usage);
    return usage;
  }
  ComPtr<Input> input_;
  ComPtr<IDTSVirtualInput90> virtualInput_;
};

TEST_F(VirtualInputTest, SelectingUpdatesOneColumnAndIgnoringRemovesIt) {
  const int32_t lineage = pipeline_->UpstreamLineageID(1);
  int32_t index = -5;
  ASSERT_EQ(virtualInput_->SetUsageType(lineage, UT_READONLY, &index), S_OK);
  EXPECT_EQ(index, 1);
  ComPtr<InputColumn> first = input_->Columns()->FindByLineageID(lineage);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->Attributes().length, 30);
  EXPECT_NE(first->Id(), lineage);
  ASSERT_TRUE(AddCustomProperty(*first->Properties(), u"P", plat::Variant::I4(7).Get()));

  // Made once (one object per upstream column at every selection made
  // selecting every column quadratic), yet reporting usage as it is now.
  ComPtr<IDTSVirtualInputColumnCollection90> columns, again;
  ASSERT_EQ(virtualInput_->get_VirtualInputColumnCollection(columns.Put()), S_OK);
  EXPECT_EQ(UsageOf(columns.Get(), 1), UT_READONLY);
  EXPECT_EQ(UsageOf(columns.Get(), 0), UT_IGNORED);
  const int64_t live = LiveObjectCount();
  ASSERT_EQ(virtualInput_->get_VirtualInputColumnCollection(again.Put()), S_OK);
  EXPECT_EQ(again.Get(), columns.Get());
  EXPECT_EQ(LiveObjectCount(), live);

  ASSERT_EQ(virtualInput_->SetUsageType(lineage, UT_READWRITE, &index), S_OK);
  ASSERT_EQ(input_->Columns()->Size(), 1u);
  EXPECT_EQ(input_->Columns()->FindByLineageID(lineage).Get(), first.Get());  // Properties kept.
  EXPECT_EQ(first->UsageType(), UT_READWRITE);
  EXPECT_EQ(first->Properties()->Size(), 1u);

  for (int i = 0; i < 2; ++i) {  // Ignoring a column that is not selected is not an error.
    ASSERT_EQ(virtualInput_->SetUsageType(lineage, UT_IGNORED, &index), S_OK);
    EXPECT_LT(index, 0);
  }
  EXPECT_EQ(input_->Columns()->Size(), 0u);
  EXPECT_EQ(UsageOf(again.Get(), 1), UT_IGNORED);
}

}  // namespace
}  // namespace host
