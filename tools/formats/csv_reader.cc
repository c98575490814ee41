#include "tools/formats/csv_reader.h"

#include <algorithm>

namespace tolvarine {
namespace {

constexpr size_t kReadChunk = size_t{1} << 20;

}  // namespace

CsvReader::CsvReader(std::istream& in, char delimiter, size_t maxRecordBytes)
    : in_(in), delimiter_(delimiter), maxRecordBytes_(maxRecordBytes), buffer_(kReadChunk) {}

bool CsvReader::Fill() {
  if (position_ < end_) return true;
  if (!in_.good()) return false;
  in_.read(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
  position_ = 0;
  end_ = static_cast<size_t>(in_.gcount());
  if (in_.bad()) {
    failed_ = true;
    error_ = "read error";
    errorLine_ = line_;
    return false;
  }
  return end_ > 0;
}

int CsvReader::Peek() {
  if (!Fill()) return -1;
  return static_cast<unsigned char>(buffer_[position_]);
}

int CsvReader::Get() {
  if (!Fill()) return -1;
  ++consumed_;
  return static_cast<unsigned char>(buffer_[position_++]);
}

// The bytes that follow in the buffer up to the next one that ends or
// quotes a field, at most `most`, appended in one piece; the caller goes on
// byte by byte from there. How many were taken.
size_t CsvReader::TakePlainBytes(size_t most, std::string* text) {
  const size_t limit = position_ + std::min(most, end_ - position_);
  size_t run = position_;
  while (run < limit) {
    const char b = buffer_[run];
    if (b == delimiter_ || b == '\n' || b == '\r' || b == '"') break;
    ++run;
  }
  const size_t taken = run - position_;
  text->append(buffer_.data() + position_, taken);
  position_ = run;
  consumed_ += taken;
  return taken;
}

CsvReader::Status CsvReader::Fail(uint64_t line, const std::string& message) {
  failed_ = true;
  error_ = message;
  errorLine_ = line;
  return Status::kError;
}

CsvReader::Status CsvReader::Next(std::vector<CsvField>* fields) {
  if (failed_) return Status::kError;
  if (!started_) {
    started_ = true;
    // A whole file shorter than the mark cannot hold one; otherwise the first
    // read has brought in at least three bytes.
    if (Fill() && end_ - position_ >= 3 && buffer_[position_] == '\xEF' &&
        buffer_[position_ + 1] == '\xBB' && buffer_[position_ + 2] == '\xBF') {
      position_ += 3;
      consumed_ += 3;
    }
  }
  if (Peek() < 0) return failed_ ? Status::kError : Status::kEnd;

  recordLine_ = line_;
  size_t count = 0;
  size_t recordBytes = 0;
  const int delimiter = static_cast<unsigned char>(delimiter_);
  for (;;) {
    if (count == fields->size()) fields->emplace_back();
    CsvField& field = (*fields)[count++];
    field.text.clear();
    field.quoted = false;
    int c = Get();
    if (c == '"') {
      field.quoted = true;
      const uint64_t openedAt = line_;
      for (;;) {
        c = Get();
        if (c < 0) {
          if (failed_) return Status::kError;
          return Fail(line_, "the quoted field opened on line " + std::to_string(openedAt) +
                                 " is never closed");
        }
        if (c == '"') {
          if (Peek() != '"') break;
          Get();
        } else if (c == '\n') {
          ++line_;
        }
        field.text.push_back(static_cast<char>(c));
        if (++recordBytes > maxRecordBytes_) {
          return Fail(recordLine_,
                      "record longer than " + std::to_string(maxRecordBytes_) + " bytes");
        }
      }
      c = Get();
      if (c == '\r' && Peek() == '\n') c = Get();
      if (c >= 0 && c != delimiter && c != '\n') {
        return Fail(line_, "unexpected character after the closing quote of field " +
                               std::to_string(count) +
                               " (a quote inside a quoted field is "
                               "written as two quotes)");
      }
    } else {
      while (c >= 0 && c != delimiter && c != '\n') {
        if (c == '\r' && Peek() == '\n') {
          c = Get();
          break;
        }
        if (c == '"') {
          return Fail(line_, "quote inside unquoted field " + std::to_string(count) +
                                 " (quote the whole field and double the quote)");
        }
        field.text.push_back(static_cast<char>(c));
        if (++recordBytes > maxRecordBytes_) {
          return Fail(recordLine_,
                      "record longer than " + std::to_string(maxRecordBytes_) + " bytes");
        }
        recordBytes += TakePlainBytes(maxRecordBytes_ - recordBytes, &field.text);
        c = Get();
      }
    }
    if (c < 0 && failed_) return Status::kError;
    if (c == delimiter) continue;
    if (c == '\n') ++line_;
    fields->resize(count);
    return Status::kRecord;
  }
}

}  // namespace tolvarine
