#include "component/build_sort_columns.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "host/pipeline_host.h"
#include "platform/variant.h"

namespace {

// One column to sort: the upstream column, its output column's key
// position, and the properties that tie the two together.
struct ColumnPlan {
  host::ColumnSpec spec;
  int32_t keyPosition = 0;
  int32_t comparisonFlags = 0;
};

// A pipeline whose input selects every upstream column and whose output
// mirrors them in reverse order, as the component's design time leaves it.
class SortMetadata {
 public:
  explicit SortMetadata(const std::vector<ColumnPlan>& plan) {
    std::vector<host::ColumnSpec> specs;
    for (const auto& column : plan) specs.push_back(column.spec);
    EXPECT_EQ(pipeline.SetUpstream(specs), S_OK);
    input = pipeline.Metadata()->Inputs()->AddNew();
    output = pipeline.Metadata()->Outputs()->AddNew();
    pipeline.AttachUpstream();
    auto virtualInput = input->MakeVirtualInput();
    for (size_t i = plan.size(); i-- > 0;) {
      const int32_t lineageID = pipeline.UpstreamLineageID(i);
      int32_t index = 0;
      EXPECT_EQ(virtualInput->SetUsageType(lineageID, UT_READONLY, &index), S_OK);
      auto inputColumn = input->Columns()->FindByLineageID(lineageID);
      host::AddCustomProperty(*inputColumn->Properties(), u"NewComparisonFlags",
                              plat::Variant::I4(plan[i].comparisonFlags).Get());
      auto outputColumn = output->Columns()->AddNew();
      const host::ColumnSpec& spec = plan[i].spec;
      EXPECT_EQ(outputColumn->SetDataTypeProperties(spec.dataType, spec.length, spec.precision,
                                                    spec.scale, spec.codePage),
                S_OK);
      outputColumn->put_SortKeyPosition(plan[i].keyPosition);
      host::AddCustomProperty(*outputColumn->Properties(), u"SortColumnId",
                              plat::Variant::I4(lineageID).Get());
    }
  }

  HRESULT Build() {
    EXPECT_EQ(pipeline.PrepareBufferTypes(), S_OK);
    return BuildSortColumns(pipeline.Metadata(), pipeline.Buffers(), &columns, &keys);
  }

  const host::BufferLayout& InputLayout() const {
    return *pipeline.Buffers()->Layout(input->BufferType());
  }
  const host::BufferLayout& OutputLayout() const {
    return *pipeline.Buffers()->Layout(output->BufferType());
  }
  // The output column at `position` (0: the mirror of the last upstream column).
  host::OutputColumn& OutputColumn(int32_t position) const {
    return *output->Columns()->At(position).Get();
  }

  host::Pipeline pipeline;
  ComPtr<host::Input> input;
  ComPtr<host::Output> output;
  std::vector<SortColumn> columns;
  std::vector<SortColumn> keys;
};

// Every reference the build took must have been given back.
class BuildSortColumnsTest : public ::testing::Test {
 protected:
  ~BuildSortColumnsTest() override { EXPECT_EQ(host::LiveObjectCount(), live_); }
  const int64_t live_ = host::LiveObjectCount();
};

TEST_F(BuildSortColumnsTest, DescribesEveryOutputColumnAndOrdersTheKeys) {
  // Upstream P (key 2), Q (no key), R (key -1, case-insensitive); the
  // output lists R, Q, P.
  SortMetadata metadata({{{.name = u"P", .dataType = DT_I4}, 2, 0},
                         {{.name = u"Q", .dataType = DT_BYTES, .length = 6}, 0, 0},
                         {{.name = u"R", .dataType = DT_WSTR, .length = 5}, -1, 32}});
  ASSERT_EQ(metadata.Build(), S_OK);
  const std::vector<SortColumn>& columns = metadata.columns;
  const std::vector<SortColumn>& keys = metadata.keys;
  ASSERT_EQ(columns.size(), 3u);
  const host::BufferLayout &in = metadata.InputLayout(), &out = metadata.OutputLayout();
  for (int32_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const BufferColumnInfo& inputInfo =
        in.Column(in.FindLineageID(metadata.pipeline.UpstreamLineageID(2 - i)));
    const BufferColumnInfo& outputInfo =
        out.Column(out.FindLineageID(metadata.OutputColumn(i).LineageID()));
    EXPECT_EQ(columns[i].InputDataOffset, inputInfo.DataOffset);
    EXPECT_EQ(columns[i].InputLengthOffset, inputInfo.LengthOffset);
    EXPECT_EQ(columns[i].InputStatusOffset, inputInfo.StatusOffset);
    EXPECT_EQ(std::memcmp(&columns[i].OutputColumn, &outputInfo, sizeof(outputInfo)), 0);
  }
  EXPECT_EQ(columns[0].ComparisonFlags, 32u);
  ASSERT_EQ(keys.size(), 2u);
  EXPECT_EQ(std::pair(keys[0].SortKeyPosition, keys[1].SortKeyPosition), std::pair(-1, 2));
}

TEST_F(BuildSortColumnsTest, FailsOnMissingOrMistypedPropertiesAndUnsupportedColumns) {
  const std::vector<ColumnPlan> plan = {{{.name = u"A", .dataType = DT_I4}, 1, 0},
                                        {{.name = u"B", .dataType = DT_STR, .length = 3}, 0, 0}};
  using Change = void (*)(SortMetadata&);
  const std::pair<Change, HRESULT> cases[] = {
      // The second output column (mirroring A) lacks its SortColumnId.
      {[](SortMetadata& m) { m.OutputColumn(1).Properties()->RemoveAll(); }, DTS_E_ELEMENTNOTFOUND},
      {[](SortMetadata& m) {
         m.OutputColumn(0).Properties()->At(0)->SetValue(plat::Variant::I2(1).Get());
       },
       E_UNEXPECTED},
      // No column of that lineage.
      {[](SortMetadata& m) {
         m.OutputColumn(0).Properties()->At(0)->SetValue(plat::Variant::I4(999999).Get());
       },
       DTS_E_ELEMENTNOTFOUND},
      // One input column more than output columns.
      {[](SortMetadata& m) { m.input->Columns()->AddNew(); }, E_UNEXPECTED},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SortMetadata metadata(plan);
    cases[i].first(metadata);
    EXPECT_EQ(metadata.Build(), cases[i].second) << i;
    EXPECT_TRUE(metadata.keys.empty());
    if (i == 0) {
      EXPECT_EQ(metadata.columns.size(), 1u) << "records appended so far stay";
    }
  }
  // DT_NTEXT is refused even in a column that is only carried along.
  SortMetadata metadata(
      {{{.name = u"A", .dataType = DT_I4}, 1, 0}, {{.name = u"T", .dataType = DT_NTEXT}, 0, 0}});
  EXPECT_EQ(metadata.Build(), E_NOTIMPL);
}

}  // namespace
