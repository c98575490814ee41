#include "tools/formats/fixed_records.h"

#include <algorithm>
#include <cstring>

#include "host/row_values.h"
#include "platform/unaligned.h"

namespace tolvarine {
namespace {

constexpr size_t kReadChunk = size_t{1} << 20;

// Code units of a NUL-padded string field of `units` units of `unitBytes`
// bytes: the count before the first NUL, or -1 when non-NUL bytes follow it.
int64_t PaddedStringUnits(const uint8_t* field, uint32_t units, uint32_t unitBytes) {
  const uint32_t bytes = units * unitBytes;
  for (uint32_t unit = 0; unit < units; ++unit) {
    const uint8_t* at = field + unit * unitBytes;
    if (std::all_of(at, at + unitBytes, [](uint8_t b) { return b == 0; })) {
      bool padded = std::all_of(at, field + bytes, [](uint8_t b) { return b == 0; });
      return padded ? static_cast<int64_t>(unit) : -1;
    }
  }
  return units;
}

}  // namespace

FixedRecordReader::FixedRecordReader(std::istream& in, uint32_t recordWidth)
    : in_(in), width_(recordWidth), buffer_(std::max<size_t>(kReadChunk, recordWidth)) {
  // Whole records per read keep every record contiguous in the buffer.
  buffer_.resize(buffer_.size() / width_ * width_);
}

bool FixedRecordReader::Fill() {
  // REQUIRES: position_ == end_ (the buffer holds no unread bytes).
  position_ = end_ = 0;
  while (end_ < buffer_.size() && in_.good()) {
    in_.read(reinterpret_cast<char*>(buffer_.data() + end_),
             static_cast<std::streamsize>(buffer_.size() - end_));
    end_ += static_cast<size_t>(in_.gcount());
  }
  if (in_.bad()) {
    error_ = "read error after record " + std::to_string(records_);
    return false;
  }
  return true;
}

FixedRecordReader::Status FixedRecordReader::Next(const uint8_t** record) {
  if (!error_.empty()) return Status::kError;
  if (position_ == end_ && !Fill()) return Status::kError;
  if (position_ == end_) return Status::kEnd;
  if (end_ - position_ < width_) {
    error_ = "the input ends inside record " + std::to_string(records_ + 1) + " (" +
             std::to_string(end_ - position_) + " of its " + std::to_string(width_) +
             " bytes; the fields add up to " + std::to_string(width_) + " bytes per record)";
    return Status::kError;
  }
  *record = buffer_.data() + position_;
  position_ += width_;
  ++records_;
  return Status::kRecord;
}

FixedRowCodec::FixedRowCodec(std::vector<ColumnModel> columns) : columns_(std::move(columns)) {
  for (const ColumnModel& column : columns_) {
    offsets_.push_back(width_);
    width_ += column.recordBytes;
  }
}

bool FixedRowCodec::ReadRow(const uint8_t* record, const BufferColumnInfo* slots, uint8_t* row,
                            std::string* error) const {
  for (size_t i = 0; i < columns_.size(); ++i) {
    const ColumnModel& column = columns_[i];
    const BufferColumnInfo& slot = slots[i];
    const uint8_t* field = record + offsets_[i];
    uint8_t* value = row + slot.DataOffset;
    uint32_t length = column.recordBytes;
    if (column.dataType == DT_STR || column.dataType == DT_WSTR) {
      const uint32_t unitBytes = column.dataType == DT_STR ? 1 : 2;
      int64_t units = PaddedStringUnits(field, column.field.length, unitBytes);
      if (units < 0) {
        *error = "field '" + column.name + "' (" + FieldTypeName(column.field) +
                 "): bytes other than NUL follow the first NUL, so the field is not a "
                 "NUL-padded string";
        return false;
      }
      length = static_cast<uint32_t>(units) * unitBytes;
      // The slot has room for the terminating NUL, and the row is zeroed.
    }
    std::memcpy(value, field, length);
    host::SetStatus(row, slot, DBSTATUS_S_OK);
    if (slot.LengthOffset != kNoLengthField) {
      plat::Store(row + slot.LengthOffset, length);
    }
  }
  return true;
}

void FixedRowCodec::WriteRow(const uint8_t* row, const BufferColumnInfo* slots,
                             uint8_t* record) const {
  std::memset(record, 0, width_);
  for (size_t i = 0; i < columns_.size(); ++i) {
    const ColumnModel& column = columns_[i];
    const BufferColumnInfo& slot = slots[i];
    uint8_t* field = record + offsets_[i];
    if (host::IsNull(row, slot)) continue;
    if (column.dataType == DT_STR) {
      std::string_view text = host::ReadStr(row, slot);
      std::memcpy(field, text.data(), std::min<size_t>(text.size(), column.recordBytes));
    } else if (column.dataType == DT_WSTR) {
      std::u16string text = host::ReadWStr(row, slot);
      std::memcpy(field, text.data(), std::min<size_t>(2 * text.size(), column.recordBytes));
    } else if (column.dataType == DT_BYTES) {
      auto bytes = host::ReadBytes(row, slot);
      std::memcpy(field, bytes.data(), std::min<size_t>(bytes.size(), column.recordBytes));
    } else {
      std::memcpy(field, row + slot.DataOffset, column.recordBytes);
    }
  }
}

}  // namespace tolvarine
