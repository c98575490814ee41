// Text forms of column values, read into and written from a value slot as the
// host lays it out in a row. Each type has one canonical text form; writing a
// value and reading the text back gives the same bytes.
//
// Text forms: integers in decimal; r4, r8 in the shortest form that reads back
// exactly (inf, -inf and nan accepted and written; a NaN keeps its sign, not
// its payload); cy, decimal and numeric(p,s) as decimal numbers; bool as
// true/false (also read: 1/0, any case); guid as {XXXXXXXX-XXXX-XXXX-XXXX-
// XXXXXXXXXXXX} (braces optional on input); bytes(n) as hex; dbdate as
// YYYY-MM-DD; dbtime as HH:MM:SS; dbtimestamp, date and filetime as
// YYYY-MM-DD HH:MM:SS with a fraction of a second when present; str(n) and
// wstr(n) as UTF-8 text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "tools/columns/column_model.h"

namespace tolvarine {

enum class ValueError {
  kNone,
  kInvalid,  // The text is not a value of the type.
  kTooWide,  // A text or bytes value longer than the column's width.
};

// Reads `text` into `value` (column.valueBytes bytes). *length receives the
// value's byte count (bytes(n): the data length; strings: without the NUL).
// On failure *error says why, as a phrase that follows the quoted value.
using ParseValueFn = ValueError (*)(const ColumnModel& column, std::string_view text,
                                    uint8_t* value, uint32_t* length, std::string* error);

// Appends the text form of the value at `value`; `length` is used by bytes(n)
// only. False, with *error set, for bytes that no value read from text could
// have produced and that have no faithful text form.
using FormatValueFn = bool (*)(const ColumnModel& column, const uint8_t* value, uint32_t length,
                               std::string* text, std::string* error);

struct ValueCodec {
  ParseValueFn parse = nullptr;
  FormatValueFn format = nullptr;
};

// The pair for a data type; both null for a type without a text form.
ValueCodec SelectValueCodec(int32_t dataType);

}  // namespace tolvarine
