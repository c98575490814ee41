// Typed access to one column of a buffer row, at the offsets the buffer
// manager gives for it (BufferColumnInfo): writing values (with a status of
// 0, "OK"), NULLs (status 3) and DT_BYTES lengths, and reading them back.
// Writers refuse (return false, row unchanged) a value that does not fit the
// column's slot; they zero the unused rest of a string or bytes slot so that
// two rows with the same values are the same bytes.
#pragma once

#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

#include "interfaces/pipeline_types.h"

namespace host {

uint32_t GetStatus(const uint8_t* row, const BufferColumnInfo& column);
void SetStatus(uint8_t* row, const BufferColumnInfo& column, uint32_t status);
inline bool IsNull(const uint8_t* row, const BufferColumnInfo& column) {
  return GetStatus(row, column) == DBSTATUS_S_ISNULL;
}
// Status 3; the value slot and the length field are zeroed.
void SetNull(uint8_t* row, const BufferColumnInfo& column);

// Fixed-width values (int32_t, double, DB_NUMERIC, DBTIMESTAMP, GUID, ...):
// T must be exactly as large as the value slot.
template <class T>
bool WriteValue(uint8_t* row, const BufferColumnInfo& column, const T& value) {
  static_assert(std::is_trivially_copyable_v<T>);
  if (sizeof(T) != column.MaxLength) return false;
  std::memcpy(row + column.DataOffset, &value, sizeof(T));
  SetStatus(row, column, DBSTATUS_S_OK);
  return true;
}
template <class T>
bool ReadValue(const uint8_t* row, const BufferColumnInfo& column, T* value) {
  static_assert(std::is_trivially_copyable_v<T>);
  if (sizeof(T) != column.MaxLength) return false;
  std::memcpy(value, row + column.DataOffset, sizeof(T));
  return true;
}

// DT_STR: at most MaxLength-1 bytes without NUL, stored NUL-terminated.
bool WriteStr(uint8_t* row, const BufferColumnInfo& column, std::string_view text);
// DT_WSTR: at most MaxLength/2-1 code units without NUL, NUL-terminated.
bool WriteWStr(uint8_t* row, const BufferColumnInfo& column, std::u16string_view text);
// DT_BYTES: at most MaxLength bytes; sets the length field.
bool WriteBytes(uint8_t* row, const BufferColumnInfo& column, std::span<const uint8_t> bytes);

// Readers never look beyond the column's slot: a string runs to its first
// NUL or to the end of the slot; a DT_BYTES length is clamped to the slot.
std::string_view ReadStr(const uint8_t* row, const BufferColumnInfo& column);
std::u16string ReadWStr(const uint8_t* row, const BufferColumnInfo& column);
std::span<const uint8_t> ReadBytes(const uint8_t* row, const BufferColumnInfo& column);

}  // namespace host
