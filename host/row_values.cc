#include "host/row_values.h"

#include <algorithm>

#include "platform/unaligned.h"

namespace host {

uint32_t GetStatus(const uint8_t* row, const BufferColumnInfo& column) {
  return plat::Load<uint32_t>(row + column.StatusOffset);
}

void SetStatus(uint8_t* row, const BufferColumnInfo& column, uint32_t status) {
  plat::Store<uint32_t>(row + column.StatusOffset, status);
}

void SetNull(uint8_t* row, const BufferColumnInfo& column) {
  std::memset(row + column.DataOffset, 0, column.MaxLength);
  if (column.LengthOffset != kNoLengthField) plat::Store<uint32_t>(row + column.LengthOffset, 0);
  SetStatus(row, column, DBSTATUS_S_ISNULL);
}

bool WriteStr(uint8_t* row, const BufferColumnInfo& column, std::string_view text) {
  if (column.DataType != DT_STR || text.size() >= column.MaxLength ||
      text.find('\0') != std::string_view::npos) {
    return false;
  }
  uint8_t* slot = row + column.DataOffset;
  std::memcpy(slot, text.data(), text.size());
  std::memset(slot + text.size(), 0, column.MaxLength - text.size());
  SetStatus(row, column, DBSTATUS_S_OK);
  return true;
}

bool WriteWStr(uint8_t* row, const BufferColumnInfo& column, std::u16string_view text) {
  if (column.DataType != DT_WSTR || text.size() >= column.MaxLength / 2 ||
      text.find(u'\0') != std::u16string_view::npos) {
    return false;
  }
  uint8_t* slot = row + column.DataOffset;
  std::memcpy(slot, text.data(), text.size() * 2);
  std::memset(slot + text.size() * 2, 0, column.MaxLength - text.size() * 2);
  SetStatus(row, column, DBSTATUS_S_OK);
  return true;
}

bool WriteBytes(uint8_t* row, const BufferColumnInfo& column, std::span<const uint8_t> bytes) {
  if (column.DataType != DT_BYTES || column.LengthOffset == kNoLengthField ||
      bytes.size() > column.MaxLength) {
    return false;
  }
  uint8_t* slot = row + column.DataOffset;
  if (!bytes.empty()) std::memcpy(slot, bytes.data(), bytes.size());
  std::memset(slot + bytes.size(), 0, column.MaxLength - bytes.size());
  plat::Store<uint32_t>(row + column.LengthOffset, static_cast<uint32_t>(bytes.size()));
  SetStatus(row, column, DBSTATUS_S_OK);
  return true;
}

std::string_view ReadStr(const uint8_t* row, const BufferColumnInfo& column) {
  const char* slot = reinterpret_cast<const char*>(row + column.DataOffset);
  const char* end = std::find(slot, slot + column.MaxLength, '\0');
  return std::string_view(slot, static_cast<size_t>(end - slot));
}

std::u16string ReadWStr(const uint8_t* row, const BufferColumnInfo& column) {
  std::u16string text;
  const uint8_t* slot = row + column.DataOffset;
  for (uint32_t i = 0; i + 1 < column.MaxLength; i += 2) {
    char16_t unit;
    std::memcpy(&unit, slot + i, 2);
    if (unit == 0) break;
    text.push_back(unit);
  }
  return text;
}

std::span<const uint8_t> ReadBytes(const uint8_t* row, const BufferColumnInfo& column) {
  uint32_t length = column.LengthOffset == kNoLengthField
                        ? column.MaxLength
                        : plat::Load<uint32_t>(row + column.LengthOffset);
  return std::span<const uint8_t>(row + column.DataOffset, std::min(length, column.MaxLength));
}

}  // namespace host
