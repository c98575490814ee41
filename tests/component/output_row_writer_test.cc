// The output row writer: whole-row copies give what column-by-column copies
// give, and the buffer's failures reach the final merge.
#include "component/output_row_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace {

// Keeps every row added, each in an allocation of its own so that a write
// past the row's end is caught; the AddRow numbered failAtRow fails.
class RowCollectingBuffer final : public IDTSBuffer90 {
 public:
  explicit RowCollectingBuffer(uint32_t width) : width_(width) {}
  HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG AddRef() override { return ++refs; }
  ULONG Release() override { return --refs; }
  HRESULT Open() override { return ++opens, openResult; }
  HRESULT Close() override { return ++closes, S_OK; }
  HRESULT get_EndOfRowset(VARIANT_BOOL*) override { return E_NOTIMPL; }
  HRESULT get_RowCount(uint32_t*) override { return E_NOTIMPL; }
  HRESULT GetRowData(int32_t, uint32_t*, uint8_t**) override { return E_NOTIMPL; }
  HRESULT AddRow(uint8_t** rowData) override {
    if (rows.size() == failAtRow) return *rowData = nullptr, failResult;
    rows.push_back(std::make_unique<uint8_t[]>(width_));  // Zeroed.
    *rowData = giveNoRow ? nullptr : rows.back().get();
    return S_OK;
  }
  HRESULT SetEndOfRowset() override { return ++ends, S_OK; }

  std::vector<uint8_t> Row(size_t i) const { return {rows[i].get(), rows[i].get() + width_}; }

  ULONG refs = 1;
  int opens = 0, closes = 0, ends = 0;
  HRESULT openResult = S_OK, failResult = E_OUTOFMEMORY;
  size_t failAtRow = SIZE_MAX;
  bool giveNoRow = false;
  std::vector<std::unique_ptr<uint8_t[]>> rows;

 private:
  uint32_t width_;
};

// Stored rows: an I4, a DT_STR of 8 bytes and a DT_BYTES of 6 bytes with a
// length field, then 6 bytes of padding.
constexpr uint32_t kWidth = 40;
constexpr uint32_t kBytesSlot = 6;
struct Offsets {
  uint32_t status, length, data;
};
constexpr Offsets kStored[] = {{0, kNoLengthField, 4}, {8, kNoLengthField, 12}, {20, 24, 28}};

// The output columns at the stored offsets moved by `shift`.
std::vector<SortColumn> MakeColumns(uint32_t shift) {
  const int32_t types[] = {DT_I4, DT_STR, DT_BYTES};
  const uint32_t slots[] = {4, 8, kBytesSlot};
  std::vector<SortColumn> columns;
  for (size_t i = 0; i < 3; ++i) {
    SortColumn c{};
    c.InputStatusOffset = kStored[i].status;
    c.InputLengthOffset = kStored[i].length;
    c.InputDataOffset = kStored[i].data;
    c.InputMaxLength = slots[i];
    c.OutputColumn.DataType = static_cast<uint32_t>(types[i]);
    c.OutputColumn.MaxLength = slots[i];
    c.OutputColumn.StatusOffset = kStored[i].status + shift;
    c.OutputColumn.LengthOffset =
        kStored[i].length == kNoLengthField ? kNoLengthField : kStored[i].length + shift;
    c.OutputColumn.DataOffset = kStored[i].data + shift;
    EXPECT_EQ(SelectColumnFunctions(types[i], 0, &c.Compare, &c.Copy), S_OK);
    columns.push_back(c);
  }
  return columns;
}

struct StoredRow {
  bool nullInt, nullText, nullBytes;
  uint32_t bytesLength;  // May exceed the slot.
};

std::vector<uint8_t> MakeRow(const StoredRow& r) {
  std::vector<uint8_t> row(kWidth, 0xEE);  // Padding that must not reach the output.
  auto put32 = [&](uint32_t at, uint32_t v) { std::memcpy(&row[at], &v, 4); };
  put32(0, r.nullInt ? DBSTATUS_S_ISNULL : 0);
  put32(4, 0x01020304);
  put32(8, r.nullText ? DBSTATUS_S_ISNULL : 0);
  std::memcpy(&row[12], "abc\0\0\0\0\0", 8);
  put32(20, r.nullBytes ? DBSTATUS_S_ISNULL : 0);
  put32(24, r.bytesLength);
  std::memset(&row[28], 0, kBytesSlot);
  std::memset(&row[28], 0xB0, std::min(r.bytesLength, kBytesSlot));
  return row;
}

std::vector<std::vector<uint8_t>> WriteAll(const std::vector<StoredRow>& stored, uint32_t shift,
                                           bool* wholeRows) {
  RowCollectingBuffer buffer(kWidth + shift);
  OutputRowWriter writer;
  writer.Prepare(MakeColumns(shift), kWidth, kWidth + shift);
  *wholeRows = writer.CopiesWholeRows();
  writer.SetBuffer(&buffer);
  EXPECT_EQ(writer.BeginRows(), S_OK);
  for (const StoredRow& r : stored) EXPECT_EQ(writer.PutRow(MakeRow(r).data()), S_OK);
  writer.EndRows();
  EXPECT_EQ(writer.EndRowset(), S_OK);
  std::vector<std::vector<uint8_t>> rows;
  for (size_t i = 0; i < buffer.rows.size(); ++i) {
    std::vector<uint8_t> row = buffer.Row(i);
    EXPECT_TRUE(std::all_of(row.begin(), row.begin() + shift, [](uint8_t b) { return b == 0; }));
    rows.emplace_back(row.begin() + shift, row.end());
  }
  return rows;
}

uint32_t Load32(const std::vector<uint8_t>& row, uint32_t at) {
  uint32_t v;
  std::memcpy(&v, &row[at], 4);
  return v;
}

TEST(OutputRowWriter, WholeRowCopiesMatchColumnCopies) {
  const std::vector<StoredRow> stored = {
      {false, false, false, 3},  {false, false, false, kBytesSlot},
      {false, false, false, 9},  {true, true, true, 9},
      {true, false, true, 2},    {false, true, false, 0},
      {false, false, true, 100},
  };
  bool wholeRows = false;
  std::vector<std::vector<uint8_t>> fast = WriteAll(stored, 0, &wholeRows);
  ASSERT_TRUE(wholeRows);
  const std::vector<std::vector<uint8_t>> byColumn = WriteAll(stored, 8, &wholeRows);
  ASSERT_FALSE(wholeRows);
  ASSERT_EQ(fast.size(), stored.size());
  ASSERT_EQ(byColumn.size(), stored.size());
  for (size_t i = 0; i < stored.size(); ++i) {
    SCOPED_TRACE(i);
    const StoredRow& r = stored[i];
    const std::vector<uint8_t>& expected = byColumn[i];
    // What the column-wise copy must give, field by field.
    EXPECT_EQ(Load32(expected, 24), std::min(r.bytesLength, kBytesSlot));
    EXPECT_EQ(Load32(expected, 4), r.nullInt ? 0u : 0x01020304u);
    EXPECT_EQ(expected[12], r.nullText ? 0 : 'a');
    EXPECT_EQ(expected[28], r.nullBytes || r.bytesLength == 0 ? 0 : 0xB0);
    EXPECT_TRUE(std::all_of(expected.begin() + 34, expected.end(), [](uint8_t b) { return !b; }));
    // The values of NULL columns are the only bytes that may differ.
    std::vector<uint8_t>& row = fast[i];
    if (r.nullInt) std::memset(&row[4], 0, 4);
    if (r.nullText) std::memset(&row[12], 0, 8);
    if (r.nullBytes) std::memset(&row[28], 0, kBytesSlot);
    EXPECT_EQ(row, expected);
  }
}

TEST(OutputRowWriter, CopiesWholeRowsOnlyForTheStoredLayout) {
  OutputRowWriter writer;
  std::vector<SortColumn> columns = MakeColumns(0);
  writer.Prepare(columns, kWidth, kWidth);
  EXPECT_TRUE(writer.CopiesWholeRows());
  writer.Prepare(columns, kWidth, kWidth + 8);
  EXPECT_FALSE(writer.CopiesWholeRows());

  columns[0].OutputColumn.MaxLength = 8;
  writer.Prepare(columns, kWidth, kWidth);
  EXPECT_FALSE(writer.CopiesWholeRows());

  columns = MakeColumns(0);
  columns[2].OutputColumn.LengthOffset = kNoLengthField;
  writer.Prepare(columns, kWidth, kWidth);
  EXPECT_FALSE(writer.CopiesWholeRows());

  columns = MakeColumns(0);
  writer.Prepare(columns, 32, 32);  // The bytes value would lie past the rows' end.
  EXPECT_FALSE(writer.CopiesWholeRows());
}

TEST(OutputRowWriter, BufferFailuresReachTheCaller) {
  RowCollectingBuffer buffer(kWidth);
  OutputRowWriter writer;
  writer.Prepare(MakeColumns(0), kWidth, kWidth);
  EXPECT_EQ(writer.BeginRows(), E_UNEXPECTED);
  EXPECT_EQ(writer.EndRowset(), E_UNEXPECTED);

  writer.SetBuffer(&buffer);
  buffer.openResult = E_FAIL;
  EXPECT_EQ(writer.BeginRows(), E_FAIL);
  writer.EndRows();
  EXPECT_EQ(buffer.closes, 0);  // Never opened.

  buffer.openResult = S_OK;
  ASSERT_EQ(writer.BeginRows(), S_OK);
  const std::vector<uint8_t> row = MakeRow({false, false, false, 1});
  buffer.failAtRow = 1;
  EXPECT_EQ(writer.PutRow(row.data()), S_OK);
  EXPECT_EQ(writer.PutRow(row.data()), E_OUTOFMEMORY);
  buffer.failAtRow = SIZE_MAX;
  buffer.giveNoRow = true;
  EXPECT_EQ(writer.PutRow(row.data()), E_POINTER);
  writer.EndRows();
  EXPECT_EQ(buffer.closes, 1);

  EXPECT_EQ(writer.EndRowset(), S_OK);
  EXPECT_EQ(buffer.ends, 1);
  EXPECT_EQ(buffer.refs, 1u);  // The writer let go of the buffer.
}

}  // namespace
