// The per-type text conversions behind SelectValueCodec, grouped by family.
#pragma once

#include "tools/text/value_codec.h"

namespace tolvarine::codecs {

#define TOLVARINE_DECLARE_CODEC(Name)                                                      \
  ValueError Parse##Name(const ColumnModel& column, std::string_view text, uint8_t* value, \
                         uint32_t* length, std::string* error);                            \
  bool Format##Name(const ColumnModel& column, const uint8_t* value, uint32_t length,      \
                    std::string* text, std::string* error)

// value_codec_numbers.cc
TOLVARINE_DECLARE_CODEC(I1);
TOLVARINE_DECLARE_CODEC(I2);
TOLVARINE_DECLARE_CODEC(I4);
TOLVARINE_DECLARE_CODEC(I8);
TOLVARINE_DECLARE_CODEC(UI1);
TOLVARINE_DECLARE_CODEC(UI2);
TOLVARINE_DECLARE_CODEC(UI4);
TOLVARINE_DECLARE_CODEC(UI8);
TOLVARINE_DECLARE_CODEC(R4);
TOLVARINE_DECLARE_CODEC(R8);
TOLVARINE_DECLARE_CODEC(Bool);
// value_codec_decimals.cc
TOLVARINE_DECLARE_CODEC(Currency);
TOLVARINE_DECLARE_CODEC(Decimal);
TOLVARINE_DECLARE_CODEC(Numeric);
// value_codec_times.cc
TOLVARINE_DECLARE_CODEC(DbDate);
TOLVARINE_DECLARE_CODEC(DbTime);
TOLVARINE_DECLARE_CODEC(DbTimestamp);
TOLVARINE_DECLARE_CODEC(FileTime);
// value_codec_ole_date.cc
TOLVARINE_DECLARE_CODEC(OleDate);
// value_codec_text.cc
TOLVARINE_DECLARE_CODEC(Str);
TOLVARINE_DECLARE_CODEC(WStr);
TOLVARINE_DECLARE_CODEC(Bytes);
TOLVARINE_DECLARE_CODEC(Guid);

#undef TOLVARINE_DECLARE_CODEC

}  // namespace tolvarine::codecs
