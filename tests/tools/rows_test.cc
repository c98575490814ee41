#include <gtest/gtest.h>

#include <sstream>

#include "host/buffer_layout.h"
#include "host/row_values.h"
#include "tools/formats/fixed_records.h"

namespace tolvarine {
namespace {

// Columns of a field list laid out as the host lays out a buffer.
struct Table {
  explicit Table(std::string_view list, host::LayoutOrder order = host::LayoutOrder::kPacked) {
    std::vector<FieldSpec> fields;
    std::string error;
    EXPECT_TRUE(ParseFieldList(list, &fields, &error)) << error;
    columns = MakeColumnModels(fields);
    std::vector<host::LayoutColumn> layoutColumns;
    for (size_t i = 0; i < columns.size(); ++i) {
      const ColumnModel& c = columns[i];
      layoutColumns.push_back(
          {int32_t(i + 1), c.dataType, c.length, c.precision, c.scale, c.codePage});
    }
    EXPECT_EQ(host::BufferLayout::Compute(layoutColumns, order, &layout), S_OK);
    for (size_t i = 0; i < columns.size(); ++i) {
      slots.push_back(layout.Column(i));
      EXPECT_EQ(layout.Column(i).MaxLength, columns[i].valueBytes) << columns[i].name;
    }
  }
  std::vector<uint8_t> NewRow() const { return std::vector<uint8_t>(layout.RowWidth()); }

  std::vector<ColumnModel> columns;
  host::BufferLayout layout;
  std::vector<BufferColumnInfo> slots;
};

TEST(FixedRecordsTest, RecordsRoundTripByteForByteThroughRows) {
  Table table("k:bytes(3),s:str(4),w:wstr(2),n:i2,d:numeric(5,1)");
  FixedRowCodec codec(table.columns);
  ASSERT_EQ(codec.RecordWidth(), 3u + 4 + 4 + 2 + 19);
  std::string records;
  auto append = [&](std::string record) {
    record.resize(codec.RecordWidth(), '\x5A');
    records += record;
  };
  // k, s, w and n; d is all filler.
  append(std::string("\0\377\001ab\0\0x\0\0\0\001\200", 13));
  append(std::string("xyzfullp\0q\0\0\0", 13));
  std::istringstream in(records);
  FixedRecordReader reader(in, codec.RecordWidth());
  const uint8_t* record;
  std::string written, error;
  while (reader.Next(&record) == FixedRecordReader::Status::kRecord) {
    auto row = table.NewRow();
    ASSERT_TRUE(codec.ReadRow(record, table.slots.data(), row.data(), &error)) << error;
    std::string out(codec.RecordWidth(), '\0');
    codec.WriteRow(row.data(), table.slots.data(), reinterpret_cast<uint8_t*>(out.data()));
    written += out;
    if (reader.recordsRead() == 2) {
      EXPECT_EQ(host::ReadStr(row.data(), table.slots[1]), "full");
      EXPECT_EQ(host::ReadWStr(row.data(), table.slots[2]), u"pq");
    }
  }
  EXPECT_EQ(reader.error(), "");
  EXPECT_EQ(reader.recordsRead(), 2u);
  EXPECT_EQ(written, records);
}

TEST(FixedRecordsTest, ReadsWideUnitsWithAZeroByteAndRefusesTruncatedRecords) {
  Table table("s:str(4),w:wstr(2)");
  FixedRowCodec codec(table.columns);
  auto row = table.NewRow();
  std::string error;
  // A UTF-16 unit with a zero low byte is not a NUL.
  std::string record("abcd\0\001\0\0", 8);
  EXPECT_TRUE(codec.ReadRow(reinterpret_cast<const uint8_t*>(record.data()), table.slots.data(),
                            row.data(), &error));
  EXPECT_EQ(host::ReadWStr(row.data(), table.slots[1]), u"\u0100");

  std::istringstream in(std::string(8 + 5, 'x'));
  FixedRecordReader reader(in, 8);
  const uint8_t* next;
  EXPECT_EQ(reader.Next(&next), FixedRecordReader::Status::kRecord);
  EXPECT_EQ(reader.Next(&next), FixedRecordReader::Status::kError);
  EXPECT_EQ(reader.error().substr(0, 50), "the input ends inside record 2 (5 of its 8 bytes; ");
}

TEST(FixedRecordsTest, ReadsRecordsAcrossBufferRefills) {
  // 3-byte records over more than one 1 MiB read.
  std::string data;
  for (uint32_t i = 0; i < 400000; ++i) {
    data.push_back(char(i));
    data.push_back(char(i >> 8));
    data.push_back(char(i >> 16));
  }
  std::istringstream in(data);
  FixedRecordReader reader(in, 3);
  const uint8_t* record;
  uint32_t expected = 0;
  while (reader.Next(&record) == FixedRecordReader::Status::kRecord) {
    ASSERT_EQ(record[0] | record[1] << 8 | record[2] << 16, expected & 0xFFFFFF);
    ++expected;
  }
  EXPECT_EQ(expected, 400000u);
  EXPECT_EQ(reader.error(), "");
}

}  // namespace
}  // namespace tolvarine
