// CSV input read into rows under a typed schema. The first line is a schema
// as --schema takes it; when it is none, a fixed schema of several types
// applies and the whole input is data. A record must read into a row or fail
// with a message, and a row read must write back as CSV that reads into the
// same row bytes.
#include <sstream>

#include "fuzz/fuzz_support.h"
#include "tools/formats/csv_row_codec.h"

namespace {

using namespace tolvarine;

constexpr std::string_view kFixedSchema =
    "id:i4,name:wstr(12),tag:str(4),raw:bytes(6),amount:numeric(9,3),ratio:r8,when:dbtimestamp,"
    "flag:bool,d:date,g:guid";
// Wide enough for every seed, small enough that the limit is reached.
constexpr size_t kMaxRecordBytes = 2048;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view rest = fuzz::AsText(data, size);
  const fuzz::Table table(MakeColumnModels(fuzz::TakeColumnList(&rest, kFixedSchema)));
  std::string error;
  if (!table.valid) return 0;
  const CsvRowCodec codec(table.columns, "");

  // Readers and writers hold a large buffer each: the rows read are written
  // to one text and read back from it at the end.
  std::istringstream in{std::string(rest)};
  CsvReader reader(in, ',', kMaxRecordBytes);
  std::vector<CsvField> fields;
  std::vector<std::vector<uint8_t>> rows;
  CsvReader::Status status;
  while ((status = reader.Next(&fields)) == CsvReader::Status::kRecord) {
    std::vector<uint8_t> row = table.NewRow();
    if (codec.ReadRow(fields, table.slots.data(), row.data(), &error)) {
      rows.push_back(std::move(row));
    } else {
      fuzz::Require(!error.empty(), "a row that does not read says why");
    }
  }
  fuzz::Require(status == CsvReader::Status::kEnd || !reader.error().empty(),
                "a CSV error says what went wrong");
  if (rows.empty()) return 0;

  std::ostringstream out;
  CsvWriter writer(out, ',');
  for (const std::vector<uint8_t>& row : rows) {
    fuzz::Require(codec.WriteRow(row.data(), table.slots.data(), &writer, &error),
                  "a row read from CSV writes back");
  }
  writer.Flush();
  std::istringstream written(out.str());
  CsvReader again(written, ',');
  for (const std::vector<uint8_t>& row : rows) {
    std::vector<uint8_t> reread = table.NewRow();
    fuzz::Require(again.Next(&fields) == CsvReader::Status::kRecord &&
                      codec.ReadRow(fields, table.slots.data(), reread.data(), &error),
                  "a written row reads back");
    fuzz::Require(reread == row, "a written row reads back to the same bytes");
  }
  fuzz::Require(again.Next(&fields) == CsvReader::Status::kEnd, "only the rows read are written");
  return 0;
}
