#include <gtest/gtest.h>

#include <set>

#include "host/pipeline_host.h"

namespace host {
namespace {

VARIANT Position(int32_t i) {
  return plat::Variant::I4(i).Get();  // Owns nothing: a copy is safe.
}

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
  plat::Variant one = plat::Variant::I4(1), two = plat::Variant::I4(2);
  ComPtr<CustomProperty> first = AddCustomProperty(properties, u"Alpha", one.Get());
  ComPtr<CustomProperty> second = AddCustomProperty(properties, u"Beta", two.Get());
  ComPtr<CustomProperty> shadow = AddCustomProperty(properties, u"Beta", one.Get());
  ASSERT_TRUE(first && second && shadow);

  IDTSCustomPropertyCollection90* collection = &properties;
  int32_t count = 0;
  ASSERT_EQ(collection->get_Count(&count), S_OK);
  EXPECT_EQ(count, 3);

  ComPtr<IDTSCustomProperty90> item;
  ASSERT_EQ(collection->get_Item(Position(1), item.Put()), S_OK);
  EXPECT_EQ(item.Get(), static_cast<IDTSCustomProperty90*>(second.Get()));

  // By name: exact, first match in collection order; case matters.
  plat::Variant beta = plat::Variant::Str(SysAllocString(u"Beta"));
  ASSERT_EQ(collection->get_Item(beta.Get(), item.Put()), S_OK);
  EXPECT_EQ(item.Get(), static_cast<IDTSCustomProperty90*>(second.Get()));
  plat::Variant lower = plat::Variant::Str(SysAllocString(u"beta"));
  EXPECT_EQ(collection->get_Item(lower.Get(), item.Put()), DTS_E_ELEMENTNOTFOUND);
  EXPECT_EQ(item.Get(), nullptr);

  ASSERT_EQ(collection->GetObjectByID(first->Id(), item.Put()), S_OK);
  EXPECT_EQ(item.Get(), static_cast<IDTSCustomProperty90*>(first.Get()));

  EXPECT_EQ(collection->get_Item(Position(3), item.Put()), DTS_E_ELEMENTNOTFOUND);
  EXPECT_EQ(collection->get_Item(Position(-1), item.Put()), DTS_E_ELEMENTNOTFOUND);
  EXPECT_EQ(collection->GetObjectByID(987654, item.Put()), DTS_E_ELEMENTNOTFOUND);
  EXPECT_EQ(static_cast<uint32_t>(collection->RemoveObjectByID(987654)), 0xC0010009u);
  plat::Variant wrongType = plat::Variant::I2(0);
  EXPECT_EQ(collection->get_Item(wrongType.Get(), item.Put()), E_INVALIDARG);

  // Removing by ID keeps the order of the rest; RemoveAll empties.
  ASSERT_EQ(collection->RemoveObjectByID(second->Id()), S_OK);
  ASSERT_EQ(collection->get_Item(Position(1), item.Put()), S_OK);
  EXPECT_EQ(item.Get(), static_cast<IDTSCustomProperty90*>(shadow.Get()));
  ASSERT_EQ(collection->get_Item(beta.Get(), item.Put()), S_OK);
  EXPECT_EQ(item.Get(), static_cast<IDTSCustomProperty90*>(shadow.Get()));
  ASSERT_EQ(collection->RemoveAll(), S_OK);
  ASSERT_EQ(collection->get_Count(&count), S_OK);
  EXPECT_EQ(count, 0);
}

TEST_F(ObjectModelTest, NewDrawsFreshIdsAndLineageIdsFromOneCounter) {
  ComponentMetaData& metadata = *pipeline_->Metadata();
  ComPtr<IDTSOutputCollection90> outputs;
  ASSERT_EQ(metadata.get_OutputCollection(outputs.Put()), S_OK);
  ComPtr<IDTSOutput90> output;
  ASSERT_EQ(outputs->New(output.Put()), S_OK);
  ComPtr<IDTSOutputColumnCollection90> columns;
  ASSERT_EQ(output->get_OutputColumnCollection(columns.Put()), S_OK);

  std::set<int32_t> numbers;
  int32_t outputID = 0;
  ASSERT_EQ(output->get_ID(&outputID), S_OK);
  numbers.insert(outputID);
  for (int i = 0; i < 3; ++i) {
    ComPtr<IDTSOutputColumn90> column;
    ASSERT_EQ(columns->New(column.Put()), S_OK);
    int32_t id = 0, lineage = 0;
    column->get_ID(&id);
    column->get_LineageID(&lineage);
    EXPECT_TRUE(numbers.insert(id).second);
    EXPECT_TRUE(numbers.insert(lineage).second);
    ComPtr<IDTSCustomPropertyCollection90> properties;
    ASSERT_EQ(column->get_CustomPropertyCollection(properties.Put()), S_OK);
    ComPtr<IDTSCustomProperty90> property;
    ASSERT_EQ(properties->New(property.Put()), S_OK);
    property->get_ID(&id);
    EXPECT_TRUE(numbers.insert(id).second);
  }
  ComPtr<IDTSInputCollection90> inputs;
  ASSERT_EQ(metadata.get_InputCollection(inputs.Put()), S_OK);
  ComPtr<IDTSInput90> input;
  ASSERT_EQ(inputs->New(input.Put()), S_OK);
  ASSERT_EQ(input->get_ID(&outputID), S_OK);
  EXPECT_TRUE(numbers.insert(outputID).second);
  EXPECT_FALSE(numbers.count(0));
}

TEST_F(ObjectModelTest, QueryInterfaceAnswersOnlyIUnknownAndItsOwnInterface) {
  ComPtr<Output> output = pipeline_->Metadata()->Outputs()->AddNew();
  ComPtr<IUnknown> unknown;
  ASSERT_EQ(output->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(unknown.Put())), S_OK);
  ComPtr<IDTSOutput90> same;
  ASSERT_EQ(unknown->QueryInterface(IID_IDTSOutput90, reinterpret_cast<void**>(same.Put())), S_OK);
  EXPECT_EQ(same.Get(), static_cast<IDTSOutput90*>(output.Get()));
  void* other = reinterpret_cast<void*>(1);
  EXPECT_EQ(output->QueryInterface(IID_IDTSInput90, &other), E_NOINTERFACE);
  EXPECT_EQ(other, nullptr);
  EXPECT_EQ(output->QueryInterface(IID_IDTSOutput90, nullptr), E_POINTER);
}

TEST_F(ObjectModelTest, ReferencesOutliveTheirParentAndReleaseEverything) {
  ComPtr<IDTSOutputColumn90> column;
  {
    ComPtr<Output> output = pipeline_->Metadata()->Outputs()->AddNew();
    ASSERT_EQ(output->Columns()->New(column.Put()), S_OK);
    pipeline_->Metadata()->Outputs()->Clear();
  }
  // The column stays usable after its output and collection let it go.
  ASSERT_EQ(column->SetDataTypeProperties(DT_WSTR, 10, 0, 0, 0), S_OK);
  int32_t length = 0;
  ASSERT_EQ(column->get_Length(&length), S_OK);
  EXPECT_EQ(length, 10);
  column.Reset();
  pipeline_.reset();
  EXPECT_EQ(LiveObjectCount(), baseline_);
}

TEST_F(ObjectModelTest, CustomPropertyValuesAreDeepCopiesBothWays) {
  ComPtr<CustomProperty> property = CustomProperty::CreateNew(pipeline_->Ids());
  BSTR text = SysAllocString(u"C:\\scratch");
  VARIANT in;
  VariantInit(&in);
  in.vt = VT_BSTR;
  in.bstrVal = text;
  ASSERT_EQ(property->put_Value(in), S_OK);
  text[0] = u'X';  // The caller still owns and may change its string.
  SysFreeString(text);

  VARIANT out;
  ASSERT_EQ(property->get_Value(&out), S_OK);
  ASSERT_EQ(out.vt, VT_BSTR);
  EXPECT_EQ(plat::BstrView(out.bstrVal), u"C:\\scratch");
  VariantClear(&out);
  ASSERT_EQ(property->get_Value(&out), S_OK);
  EXPECT_EQ(plat::BstrView(out.bstrVal), u"C:\\scratch");
  VariantClear(&out);
}

TEST_F(ObjectModelTest, OutputColumnRefusesDataTypePropertiesItCannotLayOut) {
  ComPtr<OutputColumn> column = OutputColumn::CreateNew(pipeline_->Ids());
  ASSERT_EQ(column->SetDataTypeProperties(DT_NUMERIC, 0, 18, 4, 0), S_OK);
  EXPECT_EQ(column->SetDataTypeProperties(DT_STR, 0, 0, 0, 1252), E_INVALIDARG);
  EXPECT_EQ(column->SetDataTypeProperties(DT_WSTR, kMaxWStrLength + 1, 0, 0, 0), E_INVALIDARG);
  EXPECT_EQ(column->SetDataTypeProperties(DT_NUMERIC, 0, 10, 11, 0), E_INVALIDARG);
  EXPECT_EQ(column->SetDataTypeProperties(999, 0, 0, 0, 0), E_INVALIDARG);
  ColumnSpec kept = column->Attributes();  // Refusals change nothing.
  EXPECT_EQ(kept.dataType, DT_NUMERIC);
  EXPECT_EQ(kept.precision, 18);
  EXPECT_EQ(kept.scale, 4);
}

class VirtualInputTest : public ObjectModelTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(pipeline_->SetUpstream(
                  {{.name = u"id", .dataType = DT_I4},
                   {.name = u"name",
                    .dataType = DT_STR,
                    .length = 30,
                    .codePage = 1252,
                    .description = u"customer name",
                    .sortKeyPosition = 2,
                    .comparisonFlags = 1},
                   {.name = u"price", .dataType = DT_NUMERIC, .precision = 12, .scale = 2}}),
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
  ComPtr<Input> input_;
  ComPtr<IDTSVirtualInput90> virtualInput_;
};

TEST_F(VirtualInputTest, SelectingMirrorsTheUpstreamColumn) {
  int32_t lineage = pipeline_->UpstreamLineageID(1);
  int32_t index = -5;
  ASSERT_EQ(virtualInput_->SetUsageType(lineage, UT_READONLY, &index), S_OK);
  EXPECT_EQ(index, 1);

  ComPtr<IDTSInputColumnCollection90> columns;
  ASSERT_EQ(input_->get_InputColumnCollection(columns.Put()), S_OK);
  ComPtr<IDTSInputColumn90> column;
  ASSERT_EQ(columns->GetInputColumnByLineageID(lineage, column.Put()), S_OK);
  plat::Bstr name, description;
  column->get_Name(name.Put());
  column->get_Description(description.Put());
  EXPECT_EQ(name.View(), u"name");
  EXPECT_EQ(description.View(), u"customer name");
  using Getter = HRESULT (STDMETHODCALLTYPE IDTSInputColumn90::*)(int32_t*);
  const std::pair<Getter, int32_t> expected[] = {{&IDTSInputColumn90::get_LineageID, lineage},
                                                 {&IDTSInputColumn90::get_DataType, DT_STR},
                                                 {&IDTSInputColumn90::get_Length, 30},
                                                 {&IDTSInputColumn90::get_CodePage, 1252},
                                                 {&IDTSInputColumn90::get_SortKeyPosition, 2},
                                                 {&IDTSInputColumn90::get_ComparisonFlags, 1},
                                                 {&IDTSInputColumn90::get_UsageType, UT_READONLY}};
  int32_t value = 0, id = 0;
  for (size_t i = 0; i < std::size(expected); ++i) {
    ASSERT_EQ((column.Get()->*expected[i].first)(&value), S_OK);
    EXPECT_EQ(value, expected[i].second) << i;
  }
  column->get_ID(&id);
  EXPECT_NE(id, lineage);

  // The virtual column reports the usage; other columns stay ignored.
  ComPtr<IDTSVirtualInputColumnCollection90> virtualColumns;
  ASSERT_EQ(virtualInput_->get_VirtualInputColumnCollection(virtualColumns.Put()), S_OK);
  ComPtr<IDTSVirtualInputColumn90> virtualColumn;
  ASSERT_EQ(virtualColumns->get_Item(Position(index), virtualColumn.Put()), S_OK);
  virtualColumn->get_LineageID(&value);
  EXPECT_EQ(value, lineage);
  virtualColumn->get_UsageType(&value);
  EXPECT_EQ(value, UT_READONLY);
  ASSERT_EQ(virtualColumns->get_Item(Position(0), virtualColumn.Put()), S_OK);
  virtualColumn->get_UsageType(&value);
  EXPECT_EQ(value, UT_IGNORED);

  // Made once: a designer asks for it at every selection, and making one
  // object per upstream column each time made selecting every column
  // quadratic. It still reports usage as it is now.
  const int64_t live = host::LiveObjectCount();
  ComPtr<IDTSVirtualInputColumnCollection90> again;
  ASSERT_EQ(virtualInput_->get_VirtualInputColumnCollection(again.Put()), S_OK);
  EXPECT_EQ(again.Get(), virtualColumns.Get());
  EXPECT_EQ(host::LiveObjectCount(), live);
  ASSERT_EQ(virtualInput_->SetUsageType(lineage, UT_IGNORED, &index), S_OK);
  ASSERT_EQ(again->get_Item(Position(1), virtualColumn.Put()), S_OK);
  virtualColumn->get_LineageID(&value);
  ASSERT_EQ(value, lineage);
  virtualColumn->get_UsageType(&value);
  EXPECT_EQ(value, UT_IGNORED);
}

TEST_F(VirtualInputTest, ReselectingUpdatesOneColumnAndIgnoringRemovesIt) {
  int32_t lineage = pipeline_->UpstreamLineageID(2);
  int32_t index = 0;
  ASSERT_EQ(virtualInput_->SetUsageType(lineage, UT_READONLY, &index), S_OK);
  ComPtr<InputColumn> first = input_->Columns()->FindByLineageID(lineage);
  plat::Variant flags = plat::Variant::I4(7);
  ASSERT_TRUE(AddCustomProperty(*first->Properties(), u"NewComparisonFlags", flags.Get()));

  ASSERT_EQ(virtualInput_->SetUsageType(lineage, UT_READWRITE, &index), S_OK);
  EXPECT_EQ(index, 2);
  ASSERT_EQ(input_->Columns()->Size(), 1u);
  ComPtr<InputColumn> again = input_->Columns()->FindByLineageID(lineage);
  EXPECT_EQ(again.Get(), first.Get());  // Same column, ID and properties kept.
  EXPECT_EQ(again->UsageType(), UT_READWRITE);
  EXPECT_EQ(again->Properties()->Size(), 1u);

  ASSERT_EQ(virtualInput_->SetUsageType(lineage, UT_IGNORED, &index), S_OK);
  EXPECT_LT(index, 0);
  EXPECT_EQ(input_->Columns()->Size(), 0u);
  ComPtr<IDTSInputColumn90> gone;
  EXPECT_EQ(input_->Columns()->GetInputColumnByLineageID(lineage, gone.Put()),
            DTS_E_ELEMENTNOTFOUND);
  // Ignoring a column that is not selected is not an error.
  ASSERT_EQ(virtualInput_->SetUsageType(lineage, UT_IGNORED, &index), S_OK);
  EXPECT_LT(index, 0);
}

TEST_F(VirtualInputTest, RefusesUnknownLineageIdsAndUsageTypes) {
  int32_t index = 42;
  EXPECT_EQ(virtualInput_->SetUsageType(987654, UT_READONLY, &index), DTS_E_ELEMENTNOTFOUND);
  EXPECT_EQ(virtualInput_->SetUsageType(pipeline_->UpstreamLineageID(0), 3, &index), E_INVALIDARG);
  EXPECT_EQ(virtualInput_->SetUsageType(pipeline_->UpstreamLineageID(0), UT_READONLY, nullptr),
            E_POINTER);
  EXPECT_EQ(index, 42);
  EXPECT_EQ(input_->Columns()->Size(), 0u);
  // An input with no path attached has an empty virtual input.
  ComPtr<Input> unattached = pipeline_->Metadata()->Inputs()->AddNew();
  ComPtr<IDTSVirtualInput90> empty;
  ASSERT_EQ(unattached->GetVirtualInput(empty.Put()), S_OK);
  EXPECT_EQ(empty->SetUsageType(pipeline_->UpstreamLineageID(0), UT_READONLY, &index),
            DTS_E_ELEMENTNOTFOUND);
}

}  // namespace
}  // namespace host
