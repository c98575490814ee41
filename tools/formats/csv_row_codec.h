// Turns CSV records into buffer rows and buffer rows back into CSV records.
#pragma once

#include <string>
#include <vector>

#include "interfaces/pipeline_types.h"
#include "tools/columns/column_model.h"
#include "tools/formats/csv_reader.h"
#include "tools/formats/csv_writer.h"
#include "tools/text/value_codec.h"

namespace tolvarine {

class CsvRowCodec {
 public:
  // `widenHint` is added to the message of a value too wide for its column
  // (e.g. how to declare a wider one). REQUIRES: every column's type has a
  // text form (SelectValueCodec).
  CsvRowCodec(std::vector<ColumnModel> columns, std::string widenHint);

  const std::vector<ColumnModel>& Columns() const { return columns_; }

  // Fills a zeroed row whose column i lies at slots[i]: an empty unquoted
  // field is a NULL. False with *error ("column 'x' (i4), value "y": ...")
  // for a wrong number of fields or a value that does not parse.
  bool ReadRow(const std::vector<CsvField>& fields, const BufferColumnInfo* slots, uint8_t* row,
               std::string* error) const;

  // Writes the row's columns as one record: a NULL as an empty field.
  bool WriteRow(const uint8_t* row, const BufferColumnInfo* slots, CsvWriter* writer,
                std::string* error) const;

  void WriteHeader(CsvWriter* writer) const;

 private:
  std::vector<ColumnModel> columns_;
  std::vector<ValueCodec> codecs_;
  std::string widenHint_;
  mutable std::string text_;  // Reused by WriteRow.
};

// A value as shown in messages: quoted, control characters escaped, long
// values shortened.
std::string QuoteForMessage(std::string_view value);

}  // namespace tolvarine
