// Every value codec, both ways. The first byte picks a column type, the
// second how the rest is used:
//  - as text: text that reads must write a text that reads back to the same
//    value bytes and writes the same text again; text that does not read
//    must say why;
//  - as the bytes of a value slot: a value that writes must read back (but
//    numeric, see below) and write the same text again, and where every bit
//    pattern is a value of its own (integers, cy, floats but NaN, guid, and
//    the characters of str, wstr and bytes) read back to the same value.
#include <cmath>
#include <cstring>
#include <iterator>

#include "fuzz/fuzz_support.h"
#include "tools/text/value_codec.h"

namespace {

using namespace tolvarine;

constexpr std::string_view kTypes[] = {"i1",
                                       "i2",
                                       "i4",
                                       "i8",
                                       "ui1",
                                       "ui2",
                                       "ui4",
                                       "ui8",
                                       "r4",
                                       "r8",
                                       "cy",
                                       "date",
                                       "bool",
                                       "decimal",
                                       "numeric(38,0)",
                                       "numeric(10,4)",
                                       "numeric(5,5)",
                                       "guid",
                                       "bytes(8)",
                                       "str(10)",
                                       "wstr(10)",
                                       "dbdate",
                                       "dbtime",
                                       "dbtimestamp",
                                       "filetime"};

struct Value {
  explicit Value(const ColumnModel& column) : bytes(column.valueBytes) {}
  std::vector<uint8_t> bytes;
  uint32_t length = 0;
};

// The bytes that make up the value; for strings the characters before the
// terminator, for bytes(n) its length. Empty: not every pattern is a value.
std::string_view Significant(const ColumnModel& column, const Value& value) {
  const auto* bytes = reinterpret_cast<const char*>(value.bytes.data());
  const std::string_view all(bytes, value.bytes.size());
  switch (column.dataType) {
    case DT_STR:
      return all.substr(0, std::min<size_t>(all.find('\0'), column.field.length));
    case DT_WSTR:
      for (size_t i = 0; i < column.field.length; ++i) {
        if (bytes[2 * i] == 0 && bytes[2 * i + 1] == 0) return all.substr(0, 2 * i);
      }
      return all.substr(0, 2 * column.field.length);
    case DT_BYTES:
      return all.substr(0, value.length);
    case DT_R4: {
      float f;
      std::memcpy(&f, bytes, sizeof(f));
      return std::isnan(f) ? std::string_view() : all;
    }
    case DT_R8: {
      double d;
      std::memcpy(&d, bytes, sizeof(d));
      return std::isnan(d) ? std::string_view() : all;
    }
    case DT_BOOL:
    case DT_DECIMAL:
    case DT_NUMERIC:
    case DT_DATE:
    case DT_DBDATE:
    case DT_DBTIME:
    case DT_DBTIMESTAMP:
    case DT_FILETIME:
      return {};
    default:
      return all;
  }
}

bool Read(const ValueCodec& codec, const ColumnModel& column, std::string_view text, Value* value) {
  std::string error;
  const ValueError result = codec.parse(column, text, value->bytes.data(), &value->length, &error);
  fuzz::Require(result == ValueError::kNone || !error.empty(), "text that does not read says why");
  return result == ValueError::kNone;
}

bool Write(const ValueCodec& codec, const ColumnModel& column, const Value& value,
           std::string* text) {
  std::string error;
  const bool written = codec.format(column, value.bytes.data(), value.length, text, &error);
  fuzz::Require(written || !error.empty(), "a value that does not write says why");
  return written;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  FieldType type;
  std::string error;
  fuzz::Require(ParseFieldType(kTypes[data[0] % std::size(kTypes)], &type, &error),
                "the type list parses");
  const ColumnModel column = MakeColumnModel({"c", type});
  const ValueCodec codec = SelectValueCodec(column.dataType);
  const bool asText = (data[1] & 1) != 0;
  const std::string_view payload = fuzz::AsText(data + 2, size - 2);

  Value value(column);
  std::string text;
  if (asText) {
    if (!Read(codec, column, payload, &value)) return 0;
    fuzz::Require(Write(codec, column, value, &text), "a value read from text writes");
  } else {
    std::memcpy(value.bytes.data(), payload.data(), std::min(payload.size(), value.bytes.size()));
    if (column.dataType == DT_BYTES) value.length = (data[1] >> 1) % (column.field.length + 1);
    if (!Write(codec, column, value, &text)) return 0;
  }
  Value again(column);
  const bool readsBack = Read(codec, column, text, &again);
  // numeric writes a value at its own scale and digits, which need not be
  // the column's.
  if (!asText && column.dataType == DT_NUMERIC) return 0;
  fuzz::Require(readsBack, "a written value reads back");
  std::string textAgain;
  fuzz::Require(Write(codec, column, again, &textAgain) && textAgain == text,
                "a value read back writes the same text");
  if (asText) {
    fuzz::Require(again.bytes == value.bytes && again.length == value.length,
                  "text written from a value reads back to the same bytes");
  } else {
    const std::string_view before = Significant(column, value);
    fuzz::Require(before.empty() || before == Significant(column, again),
                  "a value written as text reads back to the same value");
  }
  return 0;
}
