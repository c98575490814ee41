#include "component/build_sort_columns.h"

#include <cstring>
#include <vector>

#include "tests/component/component_test_support.h"

namespace {

using plat::Variant;

// A design made through the component: upstream P (key 2), Q (carried along)
// and R (key -1, flags 32) selected in reverse, so that the output lists R, Q, P.
class BuildSortColumnsTest : public componenttest::ComponentFixture {
 protected:
  void SetUp() override {
    Shape({{.name = u"P", .dataType = DT_I4},
           {.name = u"Q", .dataType = DT_BYTES, .length = 6},
           {.name = u"R", .dataType = DT_WSTR, .length = 5}});
    for (size_t i : {2, 1, 0}) ASSERT_EQ(Use(i, UT_READONLY), S_OK);
    ASSERT_EQ(SetColumnProperty(0, u"NewSortKeyPosition", Variant::I4(2).Get()), S_OK);
    ASSERT_EQ(SetColumnProperty(2, u"NewSortKeyPosition", Variant::I4(-1).Get()), S_OK);
    ASSERT_EQ(SetColumnProperty(2, u"NewComparisonFlags", Variant::I4(32).Get()), S_OK);
  }
  HRESULT Build() {
    columns_.clear();
    keys_.clear();
    EXPECT_EQ(pipeline_->PrepareBufferTypes(), S_OK);
    return BuildSortColumns(Metadata(), pipeline_->Buffers(), &columns_, &keys_);
  }
  std::vector<SortColumn> columns_, keys_;
};

TEST_F(BuildSortColumnsTest, DescribesEveryOutputColumnFromItsInputAndOrdersTheKeys) {
  ASSERT_EQ(Build(), S_OK);
  ASSERT_EQ(columns_.size(), 3u);
  const host::BufferLayout& in = *pipeline_->Buffers()->Layout(Input()->BufferType());
  const host::BufferLayout& out = *pipeline_->Buffers()->Layout(Output()->BufferType());
  for (int32_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const BufferColumnInfo& inputInfo =
        in.Column(in.FindLineageID(pipeline_->UpstreamLineageID(2 - i)));
    const BufferColumnInfo& outputInfo =
        out.Column(out.FindLineageID(OutputColumns()->At(i)->LineageID()));
    EXPECT_EQ(columns_[i].InputDataOffset, inputInfo.DataOffset);
    EXPECT_EQ(columns_[i].InputLengthOffset, inputInfo.LengthOffset);
    EXPECT_EQ(columns_[i].InputStatusOffset, inputInfo.StatusOffset);
    EXPECT_EQ(std::memcmp(&columns_[i].OutputColumn, &outputInfo, sizeof(outputInfo)), 0);
  }
  EXPECT_EQ(columns_[0].ComparisonFlags, 32u);
  ASSERT_EQ(keys_.size(), 2u);
  EXPECT_EQ(std::pair(keys_[0].SortKeyPosition, keys_[1].SortKeyPosition), std::pair(-1, 2));
}

// Metadata changed behind the component's back; each change undone after.
TEST_F(BuildSortColumnsTest, FailsOnMissingOrMistypedPropertiesAndUnsupportedColumns) {
  auto sortColumnId = [&](size_t output) { return OutputColumns()->At(output)->Properties(); };
  const Variant lineageOfQ = Variant::I4(pipeline_->UpstreamLineageID(1));
  sortColumnId(1)->RemoveAll();  // Q's mirror, the second output column.
  EXPECT_EQ(Build(), DTS_E_ELEMENTNOTFOUND);
  EXPECT_EQ(columns_.size(), 1u) << "records appended so far stay";
  host::AddCustomProperty(*sortColumnId(1), u"SortColumnId", lineageOfQ.Get());
  for (const auto& [value, want] :
       {std::pair(Variant::I2(1), E_UNEXPECTED),
        std::pair(Variant::I4(999999), HRESULT{DTS_E_ELEMENTNOTFOUND})}) {
    ASSERT_EQ(sortColumnId(0)->At(0)->SetValue(value.Get()), S_OK);  // R's mirror.
    EXPECT_EQ(Build(), want);
    EXPECT_TRUE(keys_.empty());
  }
  ASSERT_EQ(sortColumnId(0)->At(0)->SetValue(Variant::I4(pipeline_->UpstreamLineageID(2)).Get()),
            S_OK);
  ASSERT_EQ(Build(), S_OK);
  Input()->Columns()->AddNew();  // One input column more than output columns.
  EXPECT_EQ(Build(), E_UNEXPECTED);
}

using BuildSortColumnsNTextTest = componenttest::ComponentFixture;

TEST_F(BuildSortColumnsNTextTest, RefusesNTextEvenInAColumnCarriedAlong) {
  Shape({{.name = u"A", .dataType = DT_I4}, {.name = u"T", .dataType = DT_NTEXT}});
  ASSERT_EQ(Use(0, UT_READONLY), S_OK);
  ASSERT_EQ(Use(1, UT_READONLY), S_OK);
  ASSERT_EQ(pipeline_->PrepareBufferTypes(), S_OK);
  std::vector<SortColumn> columns, keys;
  EXPECT_EQ(BuildSortColumns(Metadata(), pipeline_->Buffers(), &columns, &keys), E_NOTIMPL);
}

}  // namespace
