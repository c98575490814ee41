// The input of "tolvarine sort": its columns (from the CSV header, --schema
// or --fields) and its rows, read one at a time into buffer rows. Messages
// name the file and the line (CSV) or record (fixed) they concern.
#pragma once

#include <cstdint>
#include <istream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/columns/column_model.h"
#include "tools/commands/input_file_stream.h"
#include "tools/commands/sort_options.h"
#include "tools/formats/csv_reader.h"
#include "tools/formats/csv_row_codec.h"
#include "tools/formats/fixed_records.h"

namespace tolvarine {

class SortInput {
 public:
  enum class Status { kRow, kEnd, kError };

  // Opens options.input ("-": `standardInput`) and reads what names the
  // columns. False with *error.
  bool Open(const SortOptions& options, std::istream& standardInput, std::string* error);

  // Empty only for an empty CSV input without --schema.
  const std::vector<ColumnModel>& Columns() const { return columns_; }
  // How the input is named in messages.
  const std::string& DisplayName() const { return displayName_; }

  // Fills a zeroed row whose column i lies at slots[i].
  Status ReadRow(const BufferColumnInfo* slots, uint8_t* row, std::string* error);

  uint64_t BytesRead() const;
  // The size of an input file; none for a pipe or terminal.
  std::optional<uint64_t> TotalBytes() const { return totalBytes_; }

 private:
  bool OpenCsv(const SortOptions& options, std::string* error);
  bool OpenFixed(const SortOptions& options, std::string* error);
  std::string Where(uint64_t line) const;

  std::string displayName_;
  std::unique_ptr<InputFileStream> file_;
  std::istream* in_ = nullptr;
  std::optional<uint64_t> totalBytes_;
  std::vector<ColumnModel> columns_;
  std::unique_ptr<CsvReader> csv_;
  std::unique_ptr<CsvRowCodec> csvRows_;
  std::vector<CsvField> fields_;
  bool pendingRecord_ = false;  // fields_ holds a data record read to count the columns.
  std::unique_ptr<FixedRecordReader> fixed_;
  std::unique_ptr<FixedRowCodec> fixedRows_;
};

}  // namespace tolvarine
