#include "host/column_spec.h"

namespace host {

bool IsKnownDataType(int32_t dataType) {
  switch (dataType) {
    case DT_EMPTY:
    case DT_NULL:
    case DT_I2:
    case DT_I4:
    case DT_R4:
    case DT_R8:
    case DT_CY:
    case DT_DATE:
    case DT_BOOL:
    case DT_DECIMAL:
    case DT_I1:
    case DT_UI1:
    case DT_UI2:
    case DT_UI4:
    case DT_I8:
    case DT_UI8:
    case DT_FILETIME:
    case DT_GUID:
    case DT_BYTES:
    case DT_STR:
    case DT_WSTR:
    case DT_NUMERIC:
    case DT_DBDATE:
    case DT_DBTIME:
    case DT_DBTIMESTAMP:
    case DT_IMAGE:
    case DT_TEXT:
    case DT_NTEXT:
      return true;
    default:
      return false;
  }
}

HRESULT CheckDataTypeProperties(int32_t dataType, int32_t length, int32_t precision,
                                int32_t scale) {
  if (!IsKnownDataType(dataType) || length < 0 || precision < 0 || scale < 0) return E_INVALIDARG;
  switch (dataType) {
    case DT_STR:
      return length >= 1 && length <= kMaxStrLength ? S_OK : E_INVALIDARG;
    case DT_WSTR:
      return length >= 1 && length <= kMaxWStrLength ? S_OK : E_INVALIDARG;
    case DT_BYTES:
      return length >= 1 && length <= kMaxBytesLength ? S_OK : E_INVALIDARG;
    case DT_NUMERIC:
      return precision >= 1 && precision <= 38 && scale <= precision ? S_OK : E_INVALIDARG;
    case DT_DECIMAL:
      return scale <= 28 ? S_OK : E_INVALIDARG;
    default:
      return S_OK;
  }
}

uint32_t ValueSlotSize(int32_t dataType, int32_t length) {
  switch (dataType) {
    case DT_I1:
    case DT_UI1:
      return 1;
    case DT_I2:
    case DT_UI2:
    case DT_BOOL:
      return 2;
    case DT_I4:
    case DT_UI4:
    case DT_R4:
      return 4;
    case DT_I8:
    case DT_UI8:
    case DT_R8:
    case DT_CY:
    case DT_DATE:
    case DT_FILETIME:
    case DT_IMAGE:
    case DT_TEXT:
    case DT_NTEXT:
      return 8;
    case DT_DECIMAL:
    case DT_GUID:
    case DT_DBTIMESTAMP:
      return 16;
    case DT_NUMERIC:
      return 19;
    case DT_DBDATE:
    case DT_DBTIME:
      return 6;
    case DT_STR:
      return static_cast<uint32_t>(length) + 1;
    case DT_WSTR:
      return (static_cast<uint32_t>(length) + 1) * 2;
    case DT_BYTES:
      return static_cast<uint32_t>(length);
    default:  // DT_EMPTY, DT_NULL: only a status.
      return 0;
  }
}

uint32_t ValueSlotAlignment(int32_t dataType) {
  switch (dataType) {
    case DT_EMPTY:
    case DT_NULL:
      return 1;
    case DT_DECIMAL:
      return 8;
    case DT_STR:
    case DT_WSTR:
    case DT_BYTES:
      return 4;
    default:
      break;
  }
  // Numbers (and the 8-byte handles of long data) are aligned to their size;
  // structures (GUID, NUMERIC, dates and times) to 4.
  const uint32_t size = ValueSlotSize(dataType, 0);
  return size == 1 || size == 2 || size == 4 || size == 8 ? size : 4;
}

bool HasLengthField(int32_t dataType) {
  return dataType == DT_BYTES;
}

}  // namespace host
