// Writes CSV that CsvReader reads back to the same fields: a field is quoted
// when it holds the delimiter, a quote, CR or LF, or is the empty string (an
// empty unquoted field is a NULL). Records end with LF.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

namespace tolvarine {

class CsvWriter {
 public:
  CsvWriter(std::ostream& out, char delimiter);
  ~CsvWriter();

  void Field(std::string_view text);
  void Null();
  void EndRecord();
  // Hands the buffered text to the stream; false when the stream has failed.
  bool Flush();

 private:
  void Separate();

  std::ostream& out_;
  const char delimiter_;
  bool firstInRecord_ = true;
  bool atStart_ = true;
  std::string buffer_;
};

}  // namespace tolvarine
