// Whole-row copies give what column-by-column copies give; the buffer's
// failures reach the final merge.
#include "component/output_row_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "tests/component/component_test_support.h"

namespace {

using Buffer = componenttest::ScriptedBuffer;

// The stored layout ({type, status, length, value, slot}) and 6 bytes of padding; output columns
// `shift` bytes on.
constexpr uint32_t kWidth = 40;
std::vector<SortColumn> Columns(uint32_t shift) {
  constexpr uint32_t kNone = kNoLengthField;
  const uint32_t layout[][5] = {
      {DT_I4, 0, kNone, 4, 4}, {DT_STR, 8, kNone, 12, 8}, {DT_BYTES, 20, 24, 28, 6}};
  std::vector<SortColumn> columns;
  for (const auto& [type, status, length, data, slot] : layout) {
    const uint32_t outLength = length == kNone ? kNone : length + shift;
    SortColumn c{
        data, length, status,  {type, slot, data + shift, status + shift, outLength, 0, 0, 0},
        0,    0,      nullptr, nullptr,
        slot};
    EXPECT_EQ(SelectColumnFunctions(type, 0, &c.Compare, &c.Copy), S_OK);
    columns.push_back(c);
  }
  return columns;
}

// {status of each column, stored DT_BYTES length}
std::vector<uint8_t> Row(uint32_t s0, uint32_t s1, uint32_t s2, uint32_t bytesLength) {
  std::vector<uint8_t> row(kWidth, 0xEE);  // The padding must not reach the output.
  const uint32_t words[][2] = {{0, s0}, {4, 0x01020304}, {8, s1}, {20, s2}, {24, bytesLength}};
  for (const auto& [at, value] : words) std::memcpy(&row[at], &value, 4);
  std::memcpy(&row[12], "abc\0\0\0\0\0", 8);
  std::memset(&row[28], 0, 6);
  std::memset(&row[28], 0xB0, std::min(bytesLength, 6u));
  return row;
}

TEST(OutputRowWriter, WholeRowCopiesMatchColumnCopies) {
  constexpr uint32_t N = DBSTATUS_S_ISNULL;
  const uint32_t lengths[] = {3, 6, 9, 9, 100};
  const std::vector<std::vector<uint8_t>> stored = {
      Row(0, 0, 0, lengths[0]), Row(0, 0, 0, lengths[1]), Row(0, 0, 0, lengths[2]),
      Row(N, N, N, lengths[3]), Row(0, N, N, lengths[4])};
  std::vector<uint8_t> out[2][5];
  for (uint32_t shift : {0, 8}) {
    Buffer buffer(kWidth + shift);
    OutputRowWriter writer;
    writer.Prepare(Columns(shift), kWidth, kWidth + shift);
    EXPECT_EQ(writer.CopiesWholeRows(), shift == 0);
    writer.SetBuffer(&buffer);
    ASSERT_EQ(writer.BeginRows(), S_OK);
    for (const auto& row : stored) EXPECT_EQ(writer.PutRow(row.data()), S_OK);
    writer.EndRows();
    for (size_t i = 0; i < 5; ++i) {
      out[shift / 8][i].assign(buffer.rows[i].get() + shift, buffer.rows[i].get() + kWidth + shift);
    }
  }
  for (size_t i = 0; i < 5; ++i) {
    SCOPED_TRACE(i);
    uint32_t length;
    std::memcpy(&length, &out[1][i][24], 4);
    EXPECT_EQ(length, std::min(lengths[i], 6u));
    // Only the values of NULL columns may differ.
    const uint32_t nullable[][3] = {{0, 4, 4}, {8, 12, 8}, {20, 28, 6}};  // status, value, slot
    for (const auto& [status, data, slot] : nullable) {
      if (stored[i][status] == N) std::memset(&out[0][i][data], 0, slot);
    }
    EXPECT_EQ(out[0][i], out[1][i]);
  }
}

TEST(OutputRowWriter, BufferFailuresReachTheCaller) {
  Buffer buffer(kWidth);
  OutputRowWriter writer;
  std::vector<SortColumn> columns = Columns(0);
  columns[0].OutputColumn.MaxLength = 8;  // Not the stored layout: no whole-row copies.
  writer.Prepare(columns, kWidth, kWidth);
  EXPECT_FALSE(writer.CopiesWholeRows());
  writer.Prepare(Columns(0), kWidth, kWidth);
  EXPECT_EQ(writer.BeginRows(), E_UNEXPECTED);  // No buffer yet.
  writer.SetBuffer(&buffer);
  ASSERT_EQ(writer.BeginRows(), S_OK);
  const std::vector<uint8_t> row = Row(0, 0, 0, 1);
  buffer.failAt = 0;
  EXPECT_EQ(writer.PutRow(row.data()), E_OUTOFMEMORY);
  buffer.failAt = SIZE_MAX;
  buffer.noRow = true;
  EXPECT_EQ(writer.PutRow(row.data()), E_POINTER);
  writer.EndRows();
  EXPECT_EQ(writer.EndRowset(), S_OK);
  EXPECT_EQ(buffer.refs, 1u);  // Let go of.
}

}  // namespace
