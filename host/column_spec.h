// How tests and tools describe the columns of an upstream source, and the
// data type rules the host enforces on every column: which type codes exist,
// what lengths they take, and how large and how aligned their value slot in
// a buffer row is.
#pragma once

#include <cstdint>
#include <string>

#include "interfaces/pipeline_types.h"
#include "platform/com_types.h"

namespace host {

// One column of an upstream source, as the source describes it. Lengths are
// in characters for DT_STR and DT_WSTR and in bytes for DT_BYTES; other types
// ignore it. `precision` and `scale` matter for DT_NUMERIC (1..38, 0..p) and
// `scale` for DT_DECIMAL (0..28). `sortKeyPosition` and `comparisonFlags` are
// those of a source that delivers sorted rows (0 otherwise).
struct ColumnSpec {
  std::u16string name{};
  int32_t dataType = DT_I4;
  int32_t length = 0;
  int32_t precision = 0;
  int32_t scale = 0;
  int32_t codePage = 0;
  std::u16string description{};
  int32_t sortKeyPosition = 0;
  int32_t comparisonFlags = 0;
};

// Longest values the host accepts (characters for strings, bytes for DT_BYTES).
constexpr int32_t kMaxStrLength = 8000;
constexpr int32_t kMaxWStrLength = 4000;
constexpr int32_t kMaxBytesLength = 8000;

// True for every code of the DataType enumeration.
bool IsKnownDataType(int32_t dataType);

// S_OK when the combination can be laid out in a buffer; E_INVALIDARG for an
// unknown type code, a negative number, a DT_STR/DT_WSTR/DT_BYTES length
// outside 1..its maximum, or a precision/scale out of range.
HRESULT CheckDataTypeProperties(int32_t dataType, int32_t length, int32_t precision, int32_t scale);

// Bytes of a value slot: the type's size for fixed types, length+1 for
// DT_STR, (length+1)*2 for DT_WSTR, length for DT_BYTES, 8 for the handle
// of long data (DT_IMAGE, DT_TEXT, DT_NTEXT), 0 for DT_EMPTY and DT_NULL.
// REQUIRES: CheckDataTypeProperties succeeded.
uint32_t ValueSlotSize(int32_t dataType, int32_t length);

// Alignment of a value slot: the size of a 1-, 2-, 4- or 8-byte scalar, 8
// for DT_DECIMAL and the long-data handle, 4 for strings, bytes and the
// other structures (GUID, DB_NUMERIC, DBDATE, DBTIME, DBTIMESTAMP), 1 for
// an empty slot.
uint32_t ValueSlotAlignment(int32_t dataType);

// True when a value of the type carries a 32-bit length field (DT_BYTES).
bool HasLengthField(int32_t dataType);

}  // namespace host
