#include "tools/formats/csv_writer.h"

namespace tolvarine {
namespace {

constexpr size_t kFlushBytes = size_t{1} << 20;

}  // namespace

CsvWriter::CsvWriter(std::ostream& out, char delimiter) : out_(out), delimiter_(delimiter) {
  buffer_.reserve(kFlushBytes + 4096);
}

CsvWriter::~CsvWriter() {
  Flush();
}

void CsvWriter::Separate() {
  if (!firstInRecord_) buffer_.push_back(delimiter_);
  firstInRecord_ = false;
}

void CsvWriter::Field(std::string_view text) {
  Separate();
  // A byte order mark opening the output would be taken for one and dropped.
  const bool looksLikeMark = atStart_ && text.starts_with("\xEF\xBB\xBF");
  atStart_ = false;
  // One pass over the text: find_first_of would look up the four bytes for
  // every byte of it.
  bool special = text.empty() || looksLikeMark;
  for (size_t i = 0; i < text.size() && !special; ++i) {
    const char c = text[i];
    special = c == delimiter_ || c == '"' || c == '\r' || c == '\n';
  }
  if (!special) {
    buffer_.append(text);
    return;
  }
  buffer_.push_back('"');
  for (char c : text) {
    if (c == '"') buffer_.push_back('"');
    buffer_.push_back(c);
  }
  buffer_.push_back('"');
}

void CsvWriter::Null() {
  Separate();
  atStart_ = false;
}

void CsvWriter::EndRecord() {
  buffer_.push_back('\n');
  firstInRecord_ = true;
  if (buffer_.size() >= kFlushBytes) Flush();
}

bool CsvWriter::Flush() {
  if (!buffer_.empty()) {
    out_.write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
    buffer_.clear();
  }
  out_.flush();
  return !out_.fail();
}

}  // namespace tolvarine
