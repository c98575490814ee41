// A streaming reader of RFC 4180 CSV: fields separated by a delimiter,
// records ended by LF or CRLF (or the end of the input), fields optionally in
// double quotes, inside which the delimiter, line breaks and doubled quotes
// ("") are data. A UTF-8 byte order mark at the start is skipped. An empty
// line is a record of one empty field.
#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

namespace tolvarine {

struct CsvField {
  std::string text;
  bool quoted = false;  // An empty unquoted field is a NULL; "" is the empty string.
};

class CsvReader {
 public:
  enum class Status { kRecord, kEnd, kError };

  static constexpr size_t kDefaultMaxRecordBytes = size_t{16} << 20;

  CsvReader(std::istream& in, char delimiter, size_t maxRecordBytes = kDefaultMaxRecordBytes);

  // Reads the next record into *fields, resized to its field count (their
  // strings' storage is reused). kError: error() tells what and where; the
  // reader stays in error.
  Status Next(std::vector<CsvField>* fields);

  // The line on which the last record returned began (1-based).
  uint64_t recordLine() const { return recordLine_; }
  // What went wrong at the last kError, and on which line.
  const std::string& error() const { return error_; }
  uint64_t errorLine() const { return errorLine_; }
  // Bytes consumed so far.
  uint64_t bytesRead() const { return consumed_; }

 private:
  // The next byte, or -1 at the end of the input (or on a read error, which
  // sets error_).
  size_t TakePlainBytes(size_t most, std::string* text);
  int Get();
  int Peek();
  bool Fill();
  Status Fail(uint64_t line, const std::string& message);

  std::istream& in_;
  const char delimiter_;
  const size_t maxRecordBytes_;
  std::vector<char> buffer_;
  size_t position_ = 0, end_ = 0;
  uint64_t consumed_ = 0;
  uint64_t line_ = 1;
  uint64_t recordLine_ = 0;
  bool started_ = false;
  bool failed_ = false;
  std::string error_;
  uint64_t errorLine_ = 0;
};

}  // namespace tolvarine
