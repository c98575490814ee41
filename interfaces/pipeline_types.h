// Data types, row status and value layouts of the pipeline host's buffers.
// Type codes are the OLE DB type codes the host uses.
#pragma once

#include <cstdint>

enum DataType : int32_t {
  DT_EMPTY = 0,
  DT_NULL = 1,
  DT_I2 = 2,
  DT_I4 = 3,
  DT_R4 = 4,
  DT_R8 = 5,
  DT_CY = 6,
  DT_DATE = 7,
  DT_BOOL = 11,
  DT_DECIMAL = 14,
  DT_I1 = 16,
  DT_UI1 = 17,
  DT_UI2 = 18,
  DT_UI4 = 19,
  DT_I8 = 20,
  DT_UI8 = 21,
  DT_FILETIME = 64,
  DT_GUID = 72,
  DT_BYTES = 128,
  DT_STR = 129,
  DT_WSTR = 130,
  DT_NUMERIC = 131,
  DT_DBDATE = 133,
  DT_DBTIME = 134,
  DT_DBTIMESTAMP = 135,
  DT_IMAGE = 301,
  DT_TEXT = 302,
  DT_NTEXT = 303,
};

// Row status of a value.
constexpr uint32_t DBSTATUS_S_OK = 0;
constexpr uint32_t DBSTATUS_S_ISNULL = 3;

// Length offset of a column without a length field.
constexpr uint32_t kNoLengthField = 0xFFFFFFFFu;

#pragma pack(push, 1)
struct DB_NUMERIC {
  uint8_t precision;
  uint8_t scale;
  uint8_t sign;  // 1 positive, 0 negative.
  uint8_t val[16];
};
#pragma pack(pop)
static_assert(sizeof(DB_NUMERIC) == 19);

struct DBDATE {
  int16_t year;
  uint16_t month;
  uint16_t day;
};
struct DBTIME {
  uint16_t hour;
  uint16_t minute;
  uint16_t second;
};
struct DBTIMESTAMP {
  int16_t year;
  uint16_t month;
  uint16_t day;
  uint16_t hour;
  uint16_t minute;
  uint16_t second;
  uint32_t fraction;  // Billionths of a second.
};
static_assert(sizeof(DBDATE) == 6 && sizeof(DBTIME) == 6 && sizeof(DBTIMESTAMP) == 16);

// The buffer manager's description of one column of a buffer type: eight
// 32-bit fields.
struct BufferColumnInfo {
  uint32_t DataType;      // DataType code.
  uint32_t MaxLength;     // Bytes of the value slot.
  uint32_t DataOffset;    // Offset of the value within a row.
  uint32_t StatusOffset;  // Offset of the 32-bit status.
  uint32_t LengthOffset;  // Offset of the 32-bit length; kNoLengthField: none.
  uint32_t CodePage;
  uint32_t Precision;
  uint32_t Scale;
};
static_assert(sizeof(BufferColumnInfo) == 32);

// Usage types of a virtual input column.
enum UsageType : int32_t {
  UT_IGNORED = 0,
  UT_READONLY = 1,
  UT_READWRITE = 2,
};

// The host's code for a named or numbered item that does not exist.
constexpr int32_t DTS_E_ELEMENTNOTFOUND = static_cast<int32_t>(0xC0010009u);
