// Fixed-width records read into rows. The first line is a --fields list;
// when it is none, a fixed list of several types applies and the whole input
// is records. A record must read into a row or be refused with a message; a
// row read must write back exactly the record it came from, and write as CSV
// that reads back or be refused with a message.
#include <algorithm>
#include <sstream>

#include "fuzz/fuzz_support.h"
#include "tools/formats/csv_row_codec.h"
#include "tools/formats/fixed_records.h"

namespace {

using namespace tolvarine;

constexpr std::string_view kFixedList =
    "id:i4,name:wstr(3),tag:str(4),raw:bytes(3),amount:numeric(9,3),ratio:r8,when:dbtimestamp,"
    "flag:bool,d:date,day:dbdate,t:dbtime,f:filetime,g:guid,c:cy,x:decimal";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view rest = fuzz::AsText(data, size);
  const fuzz::Table table(MakeColumnModels(fuzz::TakeColumnList(&rest, kFixedList)));
  std::string error;
  if (!table.valid) return 0;
  const FixedRowCodec codec(table.columns);
  const CsvRowCodec csv(table.columns, "");

  std::istringstream in{std::string(rest)};
  FixedRecordReader reader(in, codec.RecordWidth());
  std::ostringstream out;
  CsvWriter writer(out, ',');
  std::vector<uint8_t> written(codec.RecordWidth());
  bool csvFailed = false;
  size_t csvRows = 0;
  const uint8_t* record;
  FixedRecordReader::Status status;
  while ((status = reader.Next(&record)) == FixedRecordReader::Status::kRecord) {
    std::vector<uint8_t> row = table.NewRow();
    if (!codec.ReadRow(record, table.slots.data(), row.data(), &error)) {
      fuzz::Require(!error.empty(), "a record that does not read says why");
      continue;
    }
    codec.WriteRow(row.data(), table.slots.data(), written.data());
    fuzz::Require(std::equal(written.begin(), written.end(), record),
                  "a row writes back the record it was read from");
    // The command stops at the first row it cannot write.
    if (csvFailed) continue;
    error.clear();
    csvFailed = !csv.WriteRow(row.data(), table.slots.data(), &writer, &error);
    fuzz::Require(!csvFailed || !error.empty(), "a row that does not write as CSV says why");
    if (!csvFailed) ++csvRows;
  }
  fuzz::Require(status == FixedRecordReader::Status::kEnd || !reader.error().empty(),
                "a short record says what went wrong");

  // What is written as CSV reads back as CSV; but numeric, which is written
  // at the value's own scale and digits, not necessarily the column's.
  const auto& columns = table.columns;
  if (csvRows == 0 || std::any_of(columns.begin(), columns.end(),
                                  [](const ColumnModel& c) { return c.dataType == DT_NUMERIC; })) {
    return 0;
  }
  writer.Flush();
  std::istringstream text(out.str());
  CsvReader csvReader(text, ',');
  std::vector<CsvField> fields;
  for (size_t i = 0; i < csvRows; ++i) {
    std::vector<uint8_t> row = table.NewRow();
    fuzz::Require(csvReader.Next(&fields) == CsvReader::Status::kRecord &&
                      csv.ReadRow(fields, table.slots.data(), row.data(), &error),
                  "a row written as CSV reads back");
  }
  return 0;
}
