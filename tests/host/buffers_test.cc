#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "host/pipeline_host.h"

namespace host {
namespace {

// Every column type with every kind of field, lineage IDs 101...
std::vector<LayoutColumn> AllKindsOfColumns() {
  const int32_t types[][4] = {
      // type, length, precision, scale
      {DT_UI1, 0, 0, 0},   {DT_STR, 5, 0, 0},      {DT_R8, 0, 0, 0},   {DT_BOOL, 0, 0, 0},
      {DT_BYTES, 3, 0, 0}, {DT_NUMERIC, 0, 18, 2}, {DT_WSTR, 7, 0, 0}, {DT_DECIMAL, 0, 0, 4},
      {DT_I4, 0, 0, 0},    {DT_DBDATE, 0, 0, 0},   {DT_GUID, 0, 0, 0}, {DT_DBTIMESTAMP, 0, 0, 0},
      {DT_I8, 0, 0, 0},    {DT_NTEXT, 0, 0, 0},    {DT_I1, 0, 0, 0}};
  std::vector<LayoutColumn> columns;
  int32_t lineage = 101;
  for (const auto& t : types) columns.push_back({lineage++, t[0], t[1], t[2], t[3], 0});
  return columns;
}

struct Span {
  uint32_t begin, end;
};

void ExpectSoundLayout(const BufferLayout& layout, const std::vector<LayoutColumn>& columns) {
  ASSERT_EQ(layout.ColumnCount(), columns.size());
  EXPECT_EQ(layout.RowWidth() % 8, 0u);
  std::vector<Span> spans;
  for (size_t i = 0; i < columns.size(); ++i) {
    const BufferColumnInfo& info = layout.Column(i);
    SCOPED_TRACE(testing::Message() << "column " << i << " type " << columns[i].dataType);
    EXPECT_EQ(layout.LineageID(i), columns[i].lineageID);
    EXPECT_EQ(info.DataType, static_cast<uint32_t>(columns[i].dataType));
    EXPECT_EQ(info.MaxLength, ValueSlotSize(columns[i].dataType, columns[i].length));
    EXPECT_EQ(info.DataOffset % ValueSlotAlignment(columns[i].dataType), 0u);
    EXPECT_EQ(info.StatusOffset % 4, 0u);
    spans.push_back({info.DataOffset, info.DataOffset + info.MaxLength});
    spans.push_back({info.StatusOffset, info.StatusOffset + 4});
    if (columns[i].dataType == DT_BYTES) {
      ASSERT_NE(info.LengthOffset, kNoLengthField);
      EXPECT_EQ(info.LengthOffset % 4, 0u);
      spans.push_back({info.LengthOffset, info.LengthOffset + 4});
    } else {
      EXPECT_EQ(info.LengthOffset, kNoLengthField);
    }
  }
  std::sort(spans.begin(), spans.end(), [](Span a, Span b) { return a.begin < b.begin; });
  for (size_t i = 0; i < spans.size(); ++i) {
    EXPECT_LE(spans[i].end, layout.RowWidth());
    if (i > 0) {
      EXPECT_LE(spans[i - 1].end, spans[i].begin) << "fields overlap";
    }
  }
}

// Offsets written out by hand from the layout rules, so that a change of
// alignment or packing order shows here rather than agreeing with itself.
TEST(BufferLayout, RepresentativeRowsHaveTheirDocumentedOffsets) {
  const std::vector<LayoutColumn> columns = {{101, DT_UI1},      {102, DT_STR, 5},  {103, DT_R8},
                                             {104, DT_BYTES, 3}, {105, DT_WSTR, 7}, {106, DT_BOOL}};
  constexpr uint32_t N = kNoLengthField;
  const struct {
    LayoutOrder order;
    uint32_t rowWidth;
    uint32_t offsets[6][3];  // Value, status, length.
  } expected[] = {
      // Input rows: value, length field, status, column by column.
      {LayoutOrder::kColumnOrder,
       80,
       {{0, 4, N}, {8, 16, N}, {24, 32, N}, {36, 44, 40}, {48, 64, N}, {68, 72, N}}},
      // Output rows: statuses and lengths first, then values by descending
      // alignment (R8; STR, BYTES, WSTR; BOOL; UI1).
      {LayoutOrder::kPacked,
       72,
       {{70, 0, N}, {40, 4, N}, {32, 8, N}, {48, 16, 12}, {52, 20, N}, {68, 24, N}}},
  };
  for (const auto& want : expected) {
    BufferLayout layout;
    ASSERT_EQ(BufferLayout::Compute(columns, want.order, &layout), S_OK);
    EXPECT_EQ(layout.RowWidth(), want.rowWidth);
    for (size_t i = 0; i < columns.size(); ++i) {
      SCOPED_TRACE(testing::Message() << "column " << i);
      const BufferColumnInfo& info = layout.Column(i);
      EXPECT_EQ(info.DataOffset, want.offsets[i][0]);
      EXPECT_EQ(info.StatusOffset, want.offsets[i][1]);
      EXPECT_EQ(info.LengthOffset, want.offsets[i][2]);
    }
  }
}

TEST(BufferLayout, SlotsAreSizedAlignedAndDisjointInBothOrders) {
  std::vector<LayoutColumn> columns = AllKindsOfColumns();
  BufferLayout inOrder, packed;
  ASSERT_EQ(BufferLayout::Compute(columns, LayoutOrder::kColumnOrder, &inOrder), S_OK);
  ASSERT_EQ(BufferLayout::Compute(columns, LayoutOrder::kPacked, &packed), S_OK);
  ExpectSoundLayout(inOrder, columns);
  ExpectSoundLayout(packed, columns);
  EXPECT_EQ(inOrder.Column(5).MaxLength, 19u);  // DT_NUMERIC; strings and bytes are checked above.
  EXPECT_EQ(inOrder.Column(5).Precision, 18u);
  EXPECT_EQ(inOrder.Column(5).Scale, 2u);
  // Packing wastes no more than the column order does.
  EXPECT_LE(packed.RowWidth(), inOrder.RowWidth());
}

TEST(BufferLayout, RefusesWhatCannotBeLaidOut) {
  BufferLayout layout;
  EXPECT_EQ(BufferLayout::Compute({{1, DT_I4}, {1, DT_I8}}, LayoutOrder::kPacked, &layout),
            E_INVALIDARG);
  EXPECT_EQ(BufferLayout::Compute({{1, DT_STR, 0}}, LayoutOrder::kPacked, &layout), E_INVALIDARG);
  EXPECT_EQ(BufferLayout::Compute({{1, 4242}}, LayoutOrder::kPacked, &layout), E_INVALIDARG);
  ASSERT_EQ(BufferLayout::Compute({}, LayoutOrder::kPacked, &layout), S_OK);
  EXPECT_EQ(layout.RowWidth(), 8u);  // Rows of no columns still have addresses of their own.
}

TEST(BufferManager, DescribesColumnsByLineageIdAndAnswersNotFound) {
  ComPtr<BufferManager> manager = MakeObject<BufferManager>();
  std::vector<LayoutColumn> columns = AllKindsOfColumns();
  int32_t input = 0, output = 0;
  ASSERT_EQ(manager->AddBufferType(columns, LayoutOrder::kColumnOrder, &input), S_OK);
  std::reverse(columns.begin(), columns.end());
  ASSERT_EQ(manager->AddBufferType(columns, LayoutOrder::kPacked, &output), S_OK);
  EXPECT_NE(input, output);
  EXPECT_NE(input, 0);

  IDTSBufferManager90* api = manager.Get();
  int32_t inIndex = -1, outIndex = -1;
  ASSERT_EQ(api->FindColumnByLineageID(input, 105, &inIndex), S_OK);  // DT_BYTES
  ASSERT_EQ(api->FindColumnByLineageID(output, 105, &outIndex), S_OK);
  EXPECT_EQ(inIndex, 4);
  EXPECT_EQ(outIndex, static_cast<int32_t>(columns.size()) - 5);
  BufferColumnInfo in{}, out{};
  ASSERT_EQ(api->GetColumnInfo(input, inIndex, &in), S_OK);
  ASSERT_EQ(api->GetColumnInfo(output, outIndex, &out), S_OK);
  EXPECT_EQ(in.DataType, static_cast<uint32_t>(DT_BYTES));
  EXPECT_EQ(out.DataType, static_cast<uint32_t>(DT_BYTES));
  EXPECT_NE(in.DataOffset, out.DataOffset);
  EXPECT_NE(in.LengthOffset, out.LengthOffset);

  int32_t index = 0;
  EXPECT_EQ(api->FindColumnByLineageID(input, 9999, &index), DTS_E_ELEMENTNOTFOUND);
  EXPECT_EQ(api->FindColumnByLineageID(77, 105, &index), DTS_E_ELEMENTNOTFOUND);
  EXPECT_EQ(api->GetColumnInfo(input, static_cast<int32_t>(columns.size()), &in),
            DTS_E_ELEMENTNOTFOUND);
  EXPECT_EQ(api->GetColumnInfo(input, -1, &in), DTS_E_ELEMENTNOTFOUND);
  EXPECT_EQ(api->GetColumnInfo(0, 0, &in), DTS_E_ELEMENTNOTFOUND);
}

TEST(BufferManager, LimitsRowsPerBufferByCountAndBytes) {
  ComPtr<BufferManager> manager = MakeObject<BufferManager>();
  BufferLayout narrow, wide;
  ASSERT_EQ(BufferLayout::Compute({{1, DT_I4}}, LayoutOrder::kPacked, &narrow), S_OK);
  ASSERT_EQ(BufferLayout::Compute({{1, DT_WSTR, 4000}}, LayoutOrder::kPacked, &wide), S_OK);
  EXPECT_EQ(manager->RowsPerBuffer(narrow), 10000u);
  EXPECT_EQ(manager->RowsPerBuffer(wide), (10u << 20) / wide.RowWidth());
  manager->SetLimits({.maxRows = 100, .maxBytes = 100});
  EXPECT_EQ(manager->RowsPerBuffer(wide), 1u);  // A row wider than the limit still fits alone.
}

class OutputBufferTest : public ::testing::Test {
 protected:
  void SetUp() override {
    manager_ = MakeObject<BufferManager>();
    ASSERT_EQ(manager_->AddBufferType({{1, DT_I4}, {2, DT_BYTES, 4}}, LayoutOrder::kPacked, &type_),
              S_OK);
    buffer_ = manager_->CreateOutputBuffer(type_, &sink_);
    ASSERT_TRUE(buffer_);
  }
  // Adds `count` rows numbered from `first` through the component's interface.
  void AddRows(uint32_t first, uint32_t count) {
    const BufferLayout& layout = buffer_->Layout();
    for (uint32_t i = first; i < first + count; ++i) {
      uint8_t* row = nullptr;
      ASSERT_EQ(buffer_->AddRow(&row), S_OK);
      for (size_t c = 0; c < layout.ColumnCount(); ++c) {
        ASSERT_EQ(GetStatus(row, layout.Column(c)), 0u) << "added rows start zeroed";
      }
      ASSERT_TRUE(WriteValue(row, layout.Column(0), static_cast<int32_t>(i)));
    }
  }
  ComPtr<BufferManager> manager_;
  int32_t type_ = 0;
  CollectingSink sink_;
  ComPtr<PipelineBuffer> buffer_;
};

TEST_F(OutputBufferTest, HandsOverFullBuffersAndTheLastFlaggedEnd) {
  IDTSBuffer90* api = buffer_.Get();
  ASSERT_EQ(api->Open(), S_OK);
  AddRows(0, 25001);
  ASSERT_EQ(api->SetEndOfRowset(), S_OK);
  ASSERT_EQ(api->Close(), S_OK);
  EXPECT_EQ(sink_.BlockSizes(), (std::vector<uint32_t>{10000, 10000, 5001}));
  EXPECT_TRUE(sink_.Ended());
  EXPECT_EQ(sink_.BlocksAfterEnd(), 0u);
  // Blocks pass from the component's thread to the sink's in the order filled.
  ASSERT_EQ(sink_.RowCount(), 25001u);
  for (uint32_t i = 0; i < 25001; ++i) {
    int32_t value = -1;
    ReadValue(sink_.Row(i), sink_.Layout()->Column(0), &value);
    ASSERT_EQ(value, static_cast<int32_t>(i));
  }
  EXPECT_EQ(buffer_->RowsHandedOver(), 25001u);
  uint8_t* row = nullptr;
  EXPECT_EQ(api->AddRow(&row), E_UNEXPECTED);
  EXPECT_EQ(api->SetEndOfRowset(), E_UNEXPECTED);
  EXPECT_EQ(sink_.BlockSizes().size(), 3u);
}

TEST_F(OutputBufferTest, ExactMultiplesAndEmptyOutputsEndWithoutExtraBlocks) {
  AddRows(0, 20000);
  ASSERT_EQ(buffer_->SetEndOfRowset(), S_OK);
  EXPECT_EQ(sink_.BlockSizes(), (std::vector<uint32_t>{10000, 10000}));

  CollectingSink emptySink;
  ComPtr<PipelineBuffer> empty = manager_->CreateOutputBuffer(type_, &emptySink);
  ASSERT_EQ(empty->SetEndOfRowset(), S_OK);
  EXPECT_EQ(emptySink.BlockSizes(), std::vector<uint32_t>{0});
  EXPECT_TRUE(emptySink.Ended());

  // Once the host cuts a buffer off, a component that kept it reaches no
  // sink; the full blocks it handed over before still arrive.
  manager_->SetLimits({.maxRows = 2});
  CollectingSink goneSink;
  ComPtr<PipelineBuffer> detached = manager_->CreateOutputBuffer(type_, &goneSink);
  uint8_t* row = nullptr;
  for (int i = 0; i < 3; ++i) ASSERT_EQ(detached->AddRow(&row), S_OK);
  detached->DetachSink();
  EXPECT_EQ(detached->AddRow(&row), E_UNEXPECTED);
  EXPECT_EQ(detached->SetEndOfRowset(), E_UNEXPECTED);
  EXPECT_EQ(goneSink.BlockSizes(), std::vector<uint32_t>{2});
  EXPECT_FALSE(goneSink.Ended());
}

class RefusingSink : public RowSink {
 public:
  HRESULT Consume(const RowBlock& block) override { return ++calls == 2 ? E_OUTOFMEMORY : S_OK; }
  int calls = 0;
};

TEST_F(OutputBufferTest, SinkFailureStopsTheOutputForGood) {
  manager_->SetLimits({.maxRows = 2});
  RefusingSink sink;
  ComPtr<PipelineBuffer> buffer = manager_->CreateOutputBuffer(type_, &sink);
  uint8_t* row = nullptr;
  for (int i = 0; i < 4; ++i) ASSERT_EQ(buffer->AddRow(&row), S_OK);
  // The sink refuses the second block on its own thread; the component
  // learns of it at a later AddRow, at the latest once every block is taken.
  HRESULT hr = S_OK;
  int added = 4;
  while (SUCCEEDED(hr = buffer->AddRow(&row))) ASSERT_LT(++added, 20);
  EXPECT_EQ(hr, E_OUTOFMEMORY);
  EXPECT_EQ(row, nullptr);
  EXPECT_EQ(buffer->AddRow(&row), E_OUTOFMEMORY);
  EXPECT_EQ(buffer->SetEndOfRowset(), E_OUTOFMEMORY);
  buffer->DetachSink();
  EXPECT_EQ(sink.calls, 2);  // Blocks queued behind the refused one are dropped.
  EXPECT_EQ(buffer->SinkFailure(), E_OUTOFMEMORY);
  EXPECT_EQ(buffer->RowsHandedOver(), 2u);
}

TEST_F(OutputBufferTest, InputBuffersAreReadOnlyToTheComponent) {
  ComPtr<PipelineBuffer> input = manager_->CreateInputBuffer(type_);
  ASSERT_TRUE(input);
  uint8_t* first = input->AppendRow();
  uint8_t* second = input->AppendRow();
  ASSERT_TRUE(first && second);
  input->MarkEndOfRowset();

  IDTSBuffer90* api = input.Get();
  uint32_t count = 0, width = 0;
  uint8_t* data = nullptr;
  VARIANT_BOOL end = VARIANT_FALSE;
  ASSERT_EQ(api->get_RowCount(&count), S_OK);
  EXPECT_EQ(count, 2u);
  ASSERT_EQ(api->get_EndOfRowset(&end), S_OK);
  EXPECT_EQ(end, VARIANT_TRUE);
  ASSERT_EQ(api->GetRowData(0, &width, &data), S_OK);
  EXPECT_EQ(data, first);
  EXPECT_EQ(second, first + width);  // Rows are contiguous at the row width.
  EXPECT_EQ(width, input->Layout().RowWidth());
  EXPECT_EQ(api->GetRowData(2, &width, &data), DTS_E_ELEMENTNOTFOUND);
  EXPECT_EQ(api->AddRow(&data), E_UNEXPECTED);
  EXPECT_EQ(api->SetEndOfRowset(), E_UNEXPECTED);

  // Open and Close nest; an unmatched Close is refused.
  EXPECT_EQ(api->Open(), S_OK);
  EXPECT_EQ(api->Open(), S_OK);
  EXPECT_EQ(api->Close(), S_OK);
  EXPECT_EQ(input->OpenCount(), 1);
  EXPECT_EQ(api->Close(), S_OK);
  EXPECT_EQ(api->Close(), E_UNEXPECTED);

  manager_->SetLimits({.maxRows = 2});
  ComPtr<PipelineBuffer> small = manager_->CreateInputBuffer(type_);
  EXPECT_TRUE(small->AppendRow() && small->AppendRow());
  EXPECT_EQ(small->AppendRow(), nullptr);

  // Rows written in place: each offered zeroed, the one refused not kept,
  // none offered past the capacity.
  manager_->SetLimits({.maxRows = 3});
  ComPtr<PipelineBuffer> inPlace = manager_->CreateInputBuffer(type_);
  const uint32_t rowWidth = inPlace->Layout().RowWidth();
  int offered = 0;
  auto write = [&](uint8_t* row) {
    EXPECT_EQ(std::count(row, row + rowWidth, 0), rowWidth);
    std::memset(row, 0xAB, rowWidth);
    return ++offered != 2;
  };
  EXPECT_EQ(inPlace->AppendRowsInPlace(write), 1u);
  EXPECT_EQ(inPlace->AppendRowsInPlace(write), 2u);
  EXPECT_EQ(offered, 4);
  EXPECT_EQ(inPlace->RowCount(), 3u);
  EXPECT_EQ(inPlace->AppendRowsInPlace(write), 0u);
  EXPECT_EQ(offered, 4);
}

TEST(RowValues, WriteAndReadBackEveryKindOfValue) {
  BufferLayout layout;
  ASSERT_EQ(BufferLayout::Compute({{1, DT_STR, 4},
                                   {2, DT_WSTR, 3},
                                   {3, DT_BYTES, 5},
                                   {4, DT_R8},
                                   {5, DT_NUMERIC, 0, 10, 2}},
                                  LayoutOrder::kPacked, &layout),
            S_OK);
  std::vector<uint8_t> storage(layout.RowWidth(), 0xAB);
  uint8_t* row = storage.data();
  const BufferColumnInfo &str = layout.Column(0), &wstr = layout.Column(1),
                         &bytes = layout.Column(2), &real = layout.Column(3),
                         &numeric = layout.Column(4);

  ASSERT_TRUE(WriteStr(row, str, "abcd"));
  EXPECT_EQ(ReadStr(row, str), "abcd");
  EXPECT_FALSE(WriteStr(row, str, "abcde"));  // No room for the terminator.
  ASSERT_TRUE(WriteStr(row, str, "x"));
  EXPECT_EQ(ReadStr(row, str), "x");
  EXPECT_EQ(row[str.DataOffset + 3], 0);  // The rest of the slot is cleared.
  EXPECT_EQ(GetStatus(row, str), DBSTATUS_S_OK);

  ASSERT_TRUE(WriteWStr(row, wstr, u"\u00e9t\u00e9"));
  EXPECT_EQ(ReadWStr(row, wstr), u"\u00e9t\u00e9");
  EXPECT_FALSE(WriteWStr(row, wstr, u"four"));
  EXPECT_FALSE(WriteStr(row, wstr, "x"));  // Wrong type.

  const uint8_t blob[] = {0, 1, 0, 2};
  ASSERT_TRUE(WriteBytes(row, bytes, blob));
  auto read = ReadBytes(row, bytes);
  EXPECT_EQ(std::vector<uint8_t>(read.begin(), read.end()), std::vector<uint8_t>(blob, blob + 4));
  const uint8_t tooLong[6] = {};
  EXPECT_FALSE(WriteBytes(row, bytes, tooLong));
  uint32_t hugeLength = 0xFFFFFFFF;  // A corrupt length is clamped to the slot.
  std::memcpy(row + bytes.LengthOffset, &hugeLength, 4);
  EXPECT_EQ(ReadBytes(row, bytes).size(), 5u);

  ASSERT_TRUE(WriteValue(row, real, 2.5));
  EXPECT_FALSE(WriteValue(row, real, 2.5f));  // 4 bytes into an 8-byte slot.
  double d = 0;
  ASSERT_TRUE(ReadValue(row, real, &d));
  EXPECT_EQ(d, 2.5);
  DB_NUMERIC number{10, 2, 1, {0x39, 0x30}};
  ASSERT_TRUE(WriteValue(row, numeric, number));

  SetNull(row, bytes);
  EXPECT_TRUE(IsNull(row, bytes));
  EXPECT_EQ(ReadBytes(row, bytes).size(), 0u);
  EXPECT_FALSE(IsNull(row, numeric));
}

}  // namespace
}  // namespace host
