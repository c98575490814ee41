#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "host/pipeline_host.h"

namespace host {
namespace {

// Offsets written out by hand, so that a change of alignment or packing order
// shows here rather than agreeing with itself.
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
      // Output rows: statuses and lengths first, then values by descending alignment.
      {LayoutOrder::kPacked,
       72,
       {{70, 0, N}, {40, 4, N}, {32, 8, N}, {48, 16, 12}, {52, 20, N}, {68, 24, N}}},
  };
  for (const auto& want : expected) {
    BufferLayout layout;
    ASSERT_EQ(BufferLayout::Compute(columns, want.order, &layout), S_OK);
    EXPECT_EQ(layout.RowWidth(), want.rowWidth);
    for (size_t i = 0; i < columns.size(); ++i) {
      const BufferColumnInfo& info = layout.Column(i);
      EXPECT_EQ(std::vector<uint32_t>({info.DataOffset, info.StatusOffset, info.LengthOffset}),
                std::vector<uint32_t>(want.offsets[i], want.offsets[i] + 3))
          << "column " << i;
    }
  }
}

// Every column type with every kind of field: slots sized, aligned and disjoint.
TEST(BufferLayout, SlotsAreSizedAlignedAndDisjointInBothOrders) {
  const int32_t types[][4] = {
      // type, length, precision, scale
      {DT_UI1, 0, 0, 0},   {DT_STR, 5, 0, 0},      {DT_R8, 0, 0, 0},   {DT_BOOL, 0, 0, 0},
      {DT_BYTES, 3, 0, 0}, {DT_NUMERIC, 0, 18, 2}, {DT_WSTR, 7, 0, 0}, {DT_DECIMAL, 0, 0, 4},
      {DT_I4, 0, 0, 0},    {DT_DBDATE, 0, 0, 0},   {DT_GUID, 0, 0, 0}, {DT_DBTIMESTAMP, 0, 0, 0},
      {DT_I8, 0, 0, 0},    {DT_NTEXT, 0, 0, 0},    {DT_I1, 0, 0, 0}};
  std::vector<LayoutColumn> columns;
  for (const auto& t : types)
    columns.push_back({101 + int32_t(columns.size()), t[0], t[1], t[2], t[3], 0});
  uint32_t widths[2];
  for (LayoutOrder order : {LayoutOrder::kColumnOrder, LayoutOrder::kPacked}) {
    BufferLayout layout;
    ASSERT_EQ(BufferLayout::Compute(columns, order, &layout), S_OK);
    widths[order == LayoutOrder::kPacked] = layout.RowWidth();
    EXPECT_EQ(layout.RowWidth() % 8, 0u);
    std::vector<std::pair<uint32_t, uint32_t>> spans;  // Begin, end.
    for (size_t i = 0; i < columns.size(); ++i) {
      const BufferColumnInfo& info = layout.Column(i);
      SCOPED_TRACE(testing::Message() << "column " << i);
      EXPECT_EQ(info.MaxLength, ValueSlotSize(columns[i].dataType, columns[i].length));
      EXPECT_EQ(info.DataOffset % ValueSlotAlignment(columns[i].dataType), 0u);
      EXPECT_EQ(info.StatusOffset % 4, 0u);
      spans.push_back({info.DataOffset, info.DataOffset + info.MaxLength});
      spans.push_back({info.StatusOffset, info.StatusOffset + 4});
      EXPECT_EQ(info.LengthOffset == kNoLengthField, columns[i].dataType != DT_BYTES);
      if (info.LengthOffset != kNoLengthField)
        spans.push_back({info.LengthOffset, info.LengthOffset + 4});
    }
    std::sort(spans.begin(), spans.end());
    for (size_t i = 0; i < spans.size(); ++i) {
      EXPECT_LE(spans[i].second, layout.RowWidth());
      if (i > 0) {
        EXPECT_LE(spans[i - 1].second, spans[i].first) << "fields overlap";
      }
    }
  }
  EXPECT_LE(widths[1], widths[0]);  // Packing wastes no more than the column order.
}

TEST(BufferLayout, RefusesWhatCannotBeLaidOut) {
  BufferLayout layout;
  EXPECT_EQ(BufferLayout::Compute({{1, DT_I4}, {1, DT_I8}}, LayoutOrder::kPacked, &layout),
            E_INVALIDARG);
  EXPECT_EQ(BufferLayout::Compute({{1, DT_STR, 0}}, LayoutOrder::kPacked, &layout), E_INVALIDARG);
  ASSERT_EQ(BufferLayout::Compute({}, LayoutOrder::kPacked, &layout), S_OK);
  EXPECT_EQ(layout.RowWidth(), 8u);  // Rows of no columns still have addresses of their own.
}

TEST(BufferManager, ARowWiderThanTheByteLimitStillFitsAlone) {
  ComPtr<BufferManager> manager = MakeObject<BufferManager>();
  BufferLayout wide;
  ASSERT_EQ(BufferLayout::Compute({{1, DT_WSTR, 4000}}, LayoutOrder::kPacked, &wide), S_OK);
  manager->SetLimits({.maxRows = 100, .maxBytes = 100});
  EXPECT_EQ(manager->RowsPerBuffer(wide), 1u);
}

class OutputBufferTest : public ::testing::Test {
 protected:
  void SetUp() override {
    manager_ = MakeObject<BufferManager>();
    ASSERT_EQ(manager_->AddBufferType({{1, DT_I4}, {2, DT_BYTES, 4}}, LayoutOrder::kPacked, &type_),
              S_OK);
    buffer_ = manager_->CreateOutputBuffer(type_, &sink_);
  }
  // Adds rows numbered from `first` through the component's interface.
  void AddRows(uint32_t first, uint32_t count) {
    const BufferLayout& layout = buffer_->Layout();
    for (uint32_t i = first; i < first + count; ++i) {
      uint8_t* row = nullptr;
      ASSERT_EQ(buffer_->AddRow(&row), S_OK);
      ASSERT_EQ(GetStatus(row, layout.Column(1)), 0u) << "added rows start zeroed";
      ASSERT_TRUE(WriteValue(row, layout.Column(0), static_cast<int32_t>(i)));
    }
  }
  ComPtr<BufferManager> manager_;
  int32_t type_ = 0;
  CollectingSink sink_;
  ComPtr<PipelineBuffer> buffer_;
};

TEST_F(OutputBufferTest, HandsOverFullBuffersInOrderAndTheLastFlaggedEnd) {
  IDTSBuffer90* api = buffer_.Get();
  ASSERT_EQ(api->Open(), S_OK);
  AddRows(0, 25001);
  ASSERT_EQ(api->SetEndOfRowset(), S_OK);
  ASSERT_EQ(api->Close(), S_OK);
  EXPECT_EQ(sink_.BlockSizes(), (std::vector<uint32_t>{10000, 10000, 5001}));
  EXPECT_TRUE(sink_.Ended());
  EXPECT_EQ(sink_.BlocksAfterEnd(), 0u);
  ASSERT_EQ(sink_.RowCount(), 25001u);
  for (uint32_t i = 0; i < 25001; ++i) {
    int32_t value = -1;
    ReadValue(sink_.Row(i), sink_.Layout()->Column(0), &value);
    ASSERT_EQ(value, static_cast<int32_t>(i));
  }
  uint8_t* row = nullptr;
  EXPECT_EQ(api->AddRow(&row), E_UNEXPECTED);
  EXPECT_EQ(api->SetEndOfRowset(), E_UNEXPECTED);
  EXPECT_EQ(sink_.BlockSizes().size(), 3u);
}

TEST_F(OutputBufferTest, ExactMultiplesEmptyAndDetachedOutputsAddNoBlocks) {
  AddRows(0, 20000);
  ASSERT_EQ(buffer_->SetEndOfRowset(), S_OK);
  EXPECT_EQ(sink_.BlockSizes(), (std::vector<uint32_t>{10000, 10000}));

  CollectingSink emptySink;
  ASSERT_EQ(manager_->CreateOutputBuffer(type_, &emptySink)->SetEndOfRowset(), S_OK);
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
  HRESULT Consume(const RowBlock&) override { return ++calls == 2 ? E_OUTOFMEMORY : S_OK; }
  int calls = 0;
};

TEST_F(OutputBufferTest, SinkFailureStopsTheOutputForGood) {
  manager_->SetLimits({.maxRows = 2});
  RefusingSink sink;
  ComPtr<PipelineBuffer> buffer = manager_->CreateOutputBuffer(type_, &sink);
  uint8_t* row = nullptr;
  // The sink refuses the second block on its own thread; the component
  // learns of it at a later AddRow, at the latest once every block is taken.
  HRESULT hr = S_OK;
  int added = 0;
  while (SUCCEEDED(hr = buffer->AddRow(&row))) ASSERT_LT(++added, 20);
  EXPECT_EQ(hr, E_OUTOFMEMORY);
  EXPECT_EQ(row, nullptr);
  EXPECT_EQ(buffer->SetEndOfRowset(), E_OUTOFMEMORY);
  buffer->DetachSink();
  EXPECT_EQ(sink.calls, 2);  // Blocks queued behind the refused one are dropped.
  EXPECT_EQ(buffer->RowsHandedOver(), 2u);
}

TEST_F(OutputBufferTest, InputBuffersAreReadOnlyAndBoundedToTheComponent) {
  manager_->SetLimits({.maxRows = 3});
  ComPtr<PipelineBuffer> input = manager_->CreateInputBuffer(type_);
  uint8_t* first = input->AppendRow();
  uint8_t* second = input->AppendRow();
  ASSERT_TRUE(first && second);
  IDTSBuffer90* api = input.Get();
  uint32_t width = 0;
  uint8_t* data = nullptr;
  ASSERT_EQ(api->GetRowData(0, &width, &data), S_OK);
  EXPECT_EQ(data, first);
  EXPECT_EQ(second, first + width);  // Rows are contiguous at the row width.
  EXPECT_EQ(api->GetRowData(2, &width, &data), DTS_E_ELEMENTNOTFOUND);
  EXPECT_EQ(api->AddRow(&data), E_UNEXPECTED);
  EXPECT_EQ(api->SetEndOfRowset(), E_UNEXPECTED);
  // Open and Close nest; an unmatched Close is refused.
  EXPECT_EQ(api->Open(), S_OK);
  EXPECT_EQ(api->Close(), S_OK);
  EXPECT_EQ(api->Close(), E_UNEXPECTED);

  // Rows written in place: each offered zeroed, the one refused not kept,
  // none offered past the capacity.
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
  EXPECT_EQ(inPlace->AppendRowsInPlace(write), 0u);
  EXPECT_EQ(offered, 4);
  EXPECT_EQ(input->AppendRow(), first + 2 * width);
  EXPECT_EQ(input->AppendRow(), nullptr);
}

TEST(RowValues, WritesRefuseWhatDoesNotFitAndReadsStayInTheSlot) {
  BufferLayout layout;
  ASSERT_EQ(BufferLayout::Compute({{1, DT_STR, 4}, {2, DT_BYTES, 5}, {3, DT_R8}},
                                  LayoutOrder::kPacked, &layout),
            S_OK);
  std::vector<uint8_t> storage(layout.RowWidth(), 0xAB);
  uint8_t* row = storage.data();
  const BufferColumnInfo &str = layout.Column(0), &bytes = layout.Column(1),
                         &real = layout.Column(2);
  ASSERT_TRUE(WriteStr(row, str, "abcd"));
  EXPECT_FALSE(WriteStr(row, str, "abcde"));  // No room for the terminator.
  ASSERT_TRUE(WriteStr(row, str, "x"));
  EXPECT_EQ(row[str.DataOffset + 3], 0);  // The rest of the slot is cleared.
  EXPECT_FALSE(WriteStr(row, bytes, "x"));    // Wrong type.
  EXPECT_FALSE(WriteValue(row, real, 2.5f));  // 4 bytes into an 8-byte slot.
  const uint8_t tooLong[6] = {};
  EXPECT_FALSE(WriteBytes(row, bytes, tooLong));
  const uint32_t hugeLength = 0xFFFFFFFF;  // A corrupt length is clamped to the slot.
  std::memcpy(row + bytes.LengthOffset, &hugeLength, 4);
  EXPECT_EQ(ReadBytes(row, bytes).size(), 5u);
  SetNull(row, bytes);
  EXPECT_EQ(ReadBytes(row, bytes).size(), 0u);
}

}  // namespace
}  // namespace host
