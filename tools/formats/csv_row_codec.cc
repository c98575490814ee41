#include "tools/formats/csv_row_codec.h"

#include <cstdio>
#include <cstring>

#include "host/row_values.h"
#include "platform/unaligned.h"

namespace tolvarine {
namespace {

constexpr size_t kShownValueBytes = 60;

std::string ColumnLabel(const ColumnModel& column) {
  return "column '" + column.name + "' (" + FieldTypeName(column.field) + ")";
}

}  // namespace

std::string QuoteForMessage(std::string_view value) {
  std::string shown = "\"";
  for (size_t i = 0; i < value.size() && i < kShownValueBytes; ++i) {
    unsigned char c = static_cast<unsigned char>(value[i]);
    if (c < 0x20 || c == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof(escaped), "\\x%02X", c);
      shown += escaped;
    } else {
      shown.push_back(static_cast<char>(c));
    }
  }
  if (value.size() > kShownValueBytes) shown += "...";
  shown += "\"";
  return shown;
}

CsvRowCodec::CsvRowCodec(std::vector<ColumnModel> columns, std::string widenHint)
    : columns_(std::move(columns)), widenHint_(std::move(widenHint)) {
  codecs_.reserve(columns_.size());
  for (const ColumnModel& column : columns_) codecs_.push_back(SelectValueCodec(column.dataType));
}

bool CsvRowCodec::ReadRow(const std::vector<CsvField>& fields, const BufferColumnInfo* slots,
                          uint8_t* row, std::string* error) const {
  if (fields.size() != columns_.size()) {
    *error = std::to_string(fields.size()) + (fields.size() == 1 ? " field" : " fields") +
             ", expected " + std::to_string(columns_.size());
    return false;
  }
  for (size_t i = 0; i < columns_.size(); ++i) {
    const BufferColumnInfo& slot = slots[i];
    const CsvField& field = fields[i];
    if (field.text.empty() && !field.quoted) {
      host::SetNull(row, slot);
      continue;
    }
    uint32_t length = 0;
    std::string reason;
    ValueError result =
        codecs_[i].parse(columns_[i], field.text, row + slot.DataOffset, &length, &reason);
    if (result != ValueError::kNone) {
      *error = ColumnLabel(columns_[i]) + ", value " + QuoteForMessage(field.text) + ": " + reason;
      if (result == ValueError::kTooWide && !widenHint_.empty()) *error += "; " + widenHint_;
      return false;
    }
    host::SetStatus(row, slot, DBSTATUS_S_OK);
    if (slot.LengthOffset != kNoLengthField) {
      plat::Store(row + slot.LengthOffset, length);
    }
  }
  return true;
}

bool CsvRowCodec::WriteRow(const uint8_t* row, const BufferColumnInfo* slots, CsvWriter* writer,
                           std::string* error) const {
  for (size_t i = 0; i < columns_.size(); ++i) {
    const BufferColumnInfo& slot = slots[i];
    if (host::IsNull(row, slot)) {
      writer->Null();
      continue;
    }
    uint32_t length = 0;
    if (slot.LengthOffset != kNoLengthField) {
      length = static_cast<uint32_t>(host::ReadBytes(row, slot).size());
    }
    text_.clear();
    std::string reason;
    if (!codecs_[i].format(columns_[i], row + slot.DataOffset, length, &text_, &reason)) {
      *error = ColumnLabel(columns_[i]) + ": " + reason;
      return false;
    }
    writer->Field(text_);
  }
  writer->EndRecord();
  return true;
}

void CsvRowCodec::WriteHeader(CsvWriter* writer) const {
  for (const ColumnModel& column : columns_) writer->Field(column.name);
  writer->EndRecord();
}

}  // namespace tolvarine
