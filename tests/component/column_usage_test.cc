// Column selection at design time: mirrored output columns and the sort
// settings of selected input columns.
#include <tuple>

#include "tests/component/component_test_support.h"

namespace {

using componenttest::ComponentFixture;
using componenttest::IntValue;
using plat::Variant;

class ColumnUsageTest : public ComponentFixture {
 protected:
  void SetUp() override {
    Shape({{.name = u"id", .dataType = DT_I4, .sortKeyPosition = 2},
           {.name = u"name",
            .dataType = DT_WSTR,
            .length = 30,
            .description = u"who",
            .sortKeyPosition = -1,
            .comparisonFlags = 0x11},
           {.name = u"amount", .dataType = DT_NUMERIC, .precision = 12, .scale = 3},
           {.name = u"code", .dataType = DT_STR, .length = 7, .codePage = 1252}});
  }

  int32_t Lineage(size_t upstreamIndex) const {
    return pipeline_->UpstreamLineageID(upstreamIndex);
  }
  ComPtr<host::InputColumn> InputColumn(size_t upstreamIndex) const {
    return Input()->Columns()->FindByLineageID(Lineage(upstreamIndex));
  }
  // The output columns whose SortColumnId is the lineage ID.
  std::vector<ComPtr<host::OutputColumn>> Mirrors(size_t upstreamIndex) const {
    std::vector<ComPtr<host::OutputColumn>> found;
    for (const auto& column : OutputColumns()->Items()) {
      int32_t id;
      if (host::GetIntProperty(*column->Properties(), u"SortColumnId", &id) &&
          id == Lineage(upstreamIndex)) {
        found.push_back(column);
      }
    }
    return found;
  }
};

TEST_F(ColumnUsageTest, SelectingMirrorsTheColumnAndCopiesItsSortSettings) {
  ComPtr<IDTSInputColumn90> selected;
  ASSERT_EQ(Use(1, UT_READONLY, selected.Put()), S_OK);
  auto input = InputColumn(1);
  ASSERT_TRUE(input);
  EXPECT_EQ(selected.Get(), static_cast<IDTSInputColumn90*>(input.Get()));
  EXPECT_EQ(IntValue(*input->Properties(), u"NewComparisonFlags"), 0x11);
  EXPECT_EQ(IntValue(*input->Properties(), u"NewSortKeyPosition"), -1);
  ASSERT_EQ(Mirrors(1).size(), 1u);
  ASSERT_EQ(OutputColumns()->Size(), 1u);
  const host::ColumnSpec mirror = Mirrors(1)[0]->Attributes();
  EXPECT_EQ(std::tuple(mirror.name, mirror.description, mirror.dataType, mirror.length,
                       mirror.comparisonFlags, mirror.sortKeyPosition),
            std::tuple(u"name", u"who", DT_WSTR, 30, 0x11, -1));  // Flags unmasked at selection.
  // Every data type property reaches the mirror.
  ASSERT_EQ(Use(2, UT_READONLY), S_OK);
  ASSERT_EQ(Use(3, UT_READONLY), S_OK);
  const host::ColumnSpec amount = Mirrors(2)[0]->Attributes(), code = Mirrors(3)[0]->Attributes();
  EXPECT_EQ(std::tuple(amount.dataType, amount.precision, amount.scale),
            std::tuple(DT_NUMERIC, 12, 3));
  EXPECT_EQ(std::tuple(code.dataType, code.length, code.codePage), std::tuple(DT_STR, 7, 1252));
}

TEST_F(ColumnUsageTest, SelectingAgainResetsTheSameMirrorAndDeselectingRemovesIt) {
  ASSERT_EQ(Use(0, UT_READONLY), S_OK);
  ASSERT_EQ(SetColumnProperty(0, u"NewSortKeyPosition", Variant::I4(5).Get()), S_OK);
  ASSERT_EQ(SetColumnProperty(0, u"NewComparisonFlags", Variant::I4(0x20).Get()), S_OK);
  const int32_t mirrorID = Mirrors(0)[0]->Id();

  ASSERT_EQ(Use(0, UT_READWRITE), S_OK);
  ASSERT_EQ(Mirrors(0).size(), 1u);
  EXPECT_EQ(Mirrors(0)[0]->Id(), mirrorID);
  EXPECT_EQ(Mirrors(0)[0]->Attributes().sortKeyPosition, 2);
  EXPECT_EQ(IntValue(*InputColumn(0)->Properties(), u"NewSortKeyPosition"), 2);
  EXPECT_EQ(IntValue(*InputColumn(0)->Properties(), u"NewComparisonFlags"), 0);
  EXPECT_EQ(InputColumn(0)->Properties()->Size(), 2u);

  // Deselecting removes the mirror and hands back no column; a column never
  // selected has nothing to remove.
  ASSERT_EQ(Use(1, UT_READONLY), S_OK);
  for (size_t column : {0, 2}) {
    IDTSInputColumn90* untouched = reinterpret_cast<IDTSInputColumn90*>(0x1);
    ASSERT_EQ(Use(column, UT_IGNORED, &untouched), S_OK);
    EXPECT_EQ(untouched, nullptr);
  }
  EXPECT_TRUE(Mirrors(0).empty());
  EXPECT_EQ(Mirrors(1).size(), 1u);
  EXPECT_EQ(OutputColumns()->Size(), 1u);
}

// A caller may free whatever comes back, whatever the result: no garbage left in out-arguments.
TEST_F(ColumnUsageTest, EveryOutArgumentIsWritten) {
  ASSERT_EQ(Use(0, UT_READONLY), S_OK);
  void* const garbage = reinterpret_cast<void*>(0x1);
  IDTSDesigntimeComponent90* d = design_.Get();
  VARIANT value = Variant::I4(1).Get();
  plat::Bstr name(u"SortThreads");
  BSTR description = static_cast<BSTR>(garbage);
  EXPECT_EQ(d->DescribeRedirectedErrorCode(5, &description), S_OK);
  EXPECT_EQ(description, nullptr);
  IDTSInput90* input = static_cast<IDTSInput90*>(garbage);
  IDTSCustomProperty90* properties[3];
  std::fill(std::begin(properties), std::end(properties),
            static_cast<IDTSCustomProperty90*>(garbage));
  EXPECT_EQ(d->InsertInput(0, 0, &input), E_NOTIMPL);
  EXPECT_EQ(d->SetComponentProperty(name.Get(), value, &properties[0]), S_OK);
  EXPECT_EQ(d->SetComponentProperty(nullptr, value, &properties[1]), DTS_E_ELEMENTNOTFOUND);
  EXPECT_EQ(d->SetInputColumnProperty(Input()->Id(), InputColumn(0)->Id(), name.Get(), value,
                                      &properties[2]),
            E_NOTIMPL);
  EXPECT_EQ(input, nullptr);
  for (IDTSCustomProperty90* property : properties) EXPECT_EQ(property, nullptr);

  std::u16string count = u"Count";  // OLECHAR is wchar_t on Windows.
  OLECHAR* names[] = {reinterpret_cast<OLECHAR*>(count.data())};
  DISPID id = 7;
  EXPECT_EQ(runtime_->GetIDsOfNames(IID_IDTSRuntimeComponent90, names, 1, 0, &id),
            TYPE_E_ELEMENTNOTFOUND);
  EXPECT_EQ(id, DISPID_UNKNOWN);
}

TEST_F(ColumnUsageTest, HostFailuresEndTheOperation) {
  ComPtr<IDTSVirtualInput90> virtualInput;
  ASSERT_EQ(Input()->GetVirtualInput(virtualInput.Put()), S_OK);
  ComPtr<IDTSInputColumn90> column;
  EXPECT_EQ(
      design_->SetUsageType(Input()->Id(), virtualInput.Get(), 99999, UT_READONLY, column.Put()),
      DTS_E_ELEMENTNOTFOUND);
  EXPECT_EQ(design_->SetUsageType(Input()->Id() + 1000, virtualInput.Get(), Lineage(0), UT_READONLY,
                                  column.Put()),
            DTS_E_ELEMENTNOTFOUND);
  EXPECT_EQ(OutputColumns()->Size(), 0u);
  // A missing result place fails after the selection is made.
  EXPECT_EQ(
      design_->SetUsageType(Input()->Id(), virtualInput.Get(), Lineage(1), UT_READONLY, nullptr),
      E_POINTER);
  EXPECT_TRUE(InputColumn(1));
  EXPECT_EQ(Mirrors(1).size(), 1u);

  // An output column without SortColumnId blocks every search reaching it; a
  // first selection searches nothing (a search each time made n selections quadratic).
  ASSERT_EQ(Use(0, UT_READONLY), S_OK);
  OutputColumns()->AddNew();
  EXPECT_EQ(Use(2, UT_READONLY), S_OK);
  EXPECT_EQ(Use(2, UT_READONLY), DTS_E_ELEMENTNOTFOUND);
  EXPECT_TRUE(InputColumn(2));
  EXPECT_EQ(SetColumnProperty(2, u"NewSortKeyPosition", Variant::I4(1).Get()),
            DTS_E_ELEMENTNOTFOUND);
  EXPECT_EQ(Use(2, UT_IGNORED), DTS_E_ELEMENTNOTFOUND);
  EXPECT_EQ(OutputColumns()->Size(), 4u);
}

TEST_F(ColumnUsageTest, SortPropertiesReachTheMirrorWithoutOrdinalBitsOrNotAtAll) {
  ASSERT_EQ(Use(1, UT_READONLY), S_OK);
  ASSERT_EQ(Use(0, UT_READONLY), S_OK);
  EXPECT_EQ(SetColumnProperty(0, u"NewSortKeyPosition", Variant::I2(3).Get()), E_INVALIDARG);
  EXPECT_EQ(SetColumnProperty(0, u"NewComparisonFlags", Variant::Bool(true).Get()), E_INVALIDARG);
  EXPECT_EQ(SetColumnProperty(0, u"newsortkeyposition", Variant::I4(3).Get()), E_NOTIMPL);
  EXPECT_EQ(SetColumnProperty(0, u"SortColumnId", Variant::I4(3).Get()), E_NOTIMPL);
  EXPECT_EQ(IntValue(*InputColumn(0)->Properties(), u"NewSortKeyPosition"), 2);
  EXPECT_EQ(Mirrors(0)[0]->Attributes().sortKeyPosition, 2);

  // A column selected behind the component's back has no mirror: refused untouched.
  ComPtr<IDTSVirtualInput90> virtualInput;
  ASSERT_EQ(Input()->GetVirtualInput(virtualInput.Put()), S_OK);
  int32_t index;
  ASSERT_EQ(virtualInput->SetUsageType(Lineage(2), UT_READONLY, &index), S_OK);
  host::AddCustomProperty(*InputColumn(2)->Properties(), u"NewSortKeyPosition",
                          Variant::I4(0).Get());
  EXPECT_EQ(SetColumnProperty(2, u"NewSortKeyPosition", Variant::I4(4).Get()),
            DTS_E_ELEMENTNOTFOUND);
  EXPECT_EQ(IntValue(*InputColumn(2)->Properties(), u"NewSortKeyPosition"), 0);
  EXPECT_EQ(OutputColumns()->Size(), 2u);

  ASSERT_EQ(SetColumnProperty(1, u"NewComparisonFlags", Variant::I4(0x31).Get()), S_OK);
  EXPECT_EQ(IntValue(*InputColumn(1)->Properties(), u"NewComparisonFlags"), 0x31);
  EXPECT_EQ(Mirrors(1)[0]->Attributes().comparisonFlags, 0x01);
}

}  // namespace
