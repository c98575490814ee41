// Fixed-width records: every record is the same number of bytes, its fields
// back to back in column order with no separators.
//
// Field contents: the little-endian value as it lies in a buffer row for the
// numeric, date, GUID and boolean types; bytes(n) as n raw bytes; str(n) as
// n bytes of Windows-1252 and wstr(n) as n UTF-16LE code units, each ending
// at the first NUL and padded with NULs to the full width (a value of n
// characters has no NUL). Writing a row gives back exactly the record it was
// read from, so a field with anything but NULs after its first NUL is
// refused.
#pragma once

#include <cstdint>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "interfaces/pipeline_types.h"
#include "tools/columns/column_model.h"

namespace tolvarine {

class FixedRecordReader {
 public:
  enum class Status { kRecord, kEnd, kError };

  FixedRecordReader(std::istream& in, uint32_t recordWidth);

  // *record points to the next record, valid until the next call.
  Status Next(const uint8_t** record);
  // Records returned so far; the last one returned is record number recordsRead().
  uint64_t recordsRead() const { return records_; }
  uint64_t bytesRead() const { return records_ * width_; }
  const std::string& error() const { return error_; }

 private:
  bool Fill();

  std::istream& in_;
  const uint32_t width_;
  std::vector<uint8_t> buffer_;
  size_t position_ = 0, end_ = 0;
  uint64_t records_ = 0;
  std::string error_;
};

class FixedRowCodec {
 public:
  explicit FixedRowCodec(std::vector<ColumnModel> columns);

  const std::vector<ColumnModel>& Columns() const { return columns_; }
  uint32_t RecordWidth() const { return width_; }

  // Fills a zeroed row whose column i lies at slots[i]. False with *error
  // for a string field that cannot be written back unchanged.
  bool ReadRow(const uint8_t* record, const BufferColumnInfo* slots, uint8_t* row,
               std::string* error) const;
  // Writes RecordWidth() bytes. A NULL (which records never hold) is written
  // as zero bytes.
  void WriteRow(const uint8_t* row, const BufferColumnInfo* slots, uint8_t* record) const;

 private:
  std::vector<ColumnModel> columns_;
  std::vector<uint32_t> offsets_;  // Of each field within the record.
  uint32_t width_ = 0;
};

}  // namespace tolvarine
