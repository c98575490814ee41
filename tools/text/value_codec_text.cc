// Strings, byte strings and GUIDs.
#include <algorithm>
#include <cstring>

#include "platform/bstr.h"
#include "platform/string_compare.h"
#include "tools/columns/field_list.h"
#include "tools/text/value_codecs_by_type.h"

namespace tolvarine::codecs {
namespace {

std::string TooLong(size_t count, const ColumnModel& column, const char* unit) {
  return std::to_string(count) + " " + unit + ", more than the " +
         std::to_string(column.field.length) + " of " + FieldTypeName(column.field);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool ParseHex(std::string_view text, uint8_t* bytes) {
  for (size_t i = 0; i < text.size() / 2; ++i) {
    int high = HexDigit(text[2 * i]), low = HexDigit(text[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    bytes[i] = static_cast<uint8_t>(high << 4 | low);
  }
  return true;
}

void AppendHex(const uint8_t* bytes, size_t count, bool upper, std::string* text) {
  const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  for (size_t i = 0; i < count; ++i) {
    text->push_back(digits[bytes[i] >> 4]);
    text->push_back(digits[bytes[i] & 0xF]);
  }
}

}  // namespace

// NUL-terminated Windows-1252.
ValueError ParseStr(const ColumnModel& column, std::string_view text, uint8_t* value,
                    uint32_t* length, std::string* error) {
  std::u16string units;
  if (!plat::Utf8ToUtf16(text, &units)) {
    *error = "not valid UTF-8";
    return ValueError::kInvalid;
  }
  if (units.size() > column.field.length) {
    *error = TooLong(units.size(), column, "characters");
    return ValueError::kTooWide;
  }
  for (size_t i = 0; i < units.size(); ++i) {
    unsigned char byte;
    if (units[i] == 0) {
      *error = "a NUL character, which would end the string";
      return ValueError::kInvalid;
    }
    if (!plat::Utf16ToCp1252(units[i], &byte)) {
      *error = "a character that Windows-1252 (str) cannot hold; use wstr";
      return ValueError::kInvalid;
    }
    value[i] = byte;
  }
  value[units.size()] = 0;
  *length = static_cast<uint32_t>(units.size());
  return ValueError::kNone;
}

bool FormatStr(const ColumnModel& column, const uint8_t* value, uint32_t, std::string* text,
               std::string*) {
  const void* end = std::memchr(value, 0, column.field.length);
  size_t count = end ? static_cast<const uint8_t*>(end) - value : column.field.length;
  std::u16string units(count, u'\0');
  for (size_t i = 0; i < count; ++i) units[i] = plat::Cp1252ToUtf16(value[i]);
  plat::AppendUtf16AsUtf8(units, text);
  return true;
}

// NUL-terminated UTF-16, in native (little-endian) order.
ValueError ParseWStr(const ColumnModel& column, std::string_view text, uint8_t* value,
                     uint32_t* length, std::string* error) {
  std::u16string units;
  if (!plat::Utf8ToUtf16(text, &units)) {
    *error = "not valid UTF-8";
    return ValueError::kInvalid;
  }
  if (units.size() > column.field.length) {
    *error = TooLong(units.size(), column, "UTF-16 code units");
    return ValueError::kTooWide;
  }
  if (units.find(u'\0') != std::u16string::npos) {
    *error = "a NUL character, which would end the string";
    return ValueError::kInvalid;
  }
  units.push_back(0);
  std::memcpy(value, units.data(), 2 * units.size());
  *length = static_cast<uint32_t>(2 * (units.size() - 1));
  return ValueError::kNone;
}

bool FormatWStr(const ColumnModel& column, const uint8_t* value, uint32_t, std::string* text,
                std::string* error) {
  // The units up to the first NUL, gathered on the stack: a string per value
  // would cost an allocation a row for all but the shortest names. Field
  // lists allow no longer wstr.
  char16_t units[kMaxWstrLength];
  const uint32_t most = std::min(column.field.length, kMaxWstrLength);
  uint32_t count = 0;
  for (; count < most; ++count) {
    std::memcpy(&units[count], value + 2 * count, 2);
    if (units[count] == 0) break;
  }
  if (!plat::AppendUtf16AsUtf8(std::u16string_view(units, count), text)) {
    *error = "wstr value holds an unpaired UTF-16 surrogate, which UTF-8 cannot carry";
    return false;
  }
  return true;
}

// Two hex digits per byte, an optional 0x before them.
ValueError ParseBytes(const ColumnModel& column, std::string_view text, uint8_t* value,
                      uint32_t* length, std::string* error) {
  if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
  }
  if (text.size() % 2 != 0) {
    *error = "not hex bytes (an odd number of digits)";
    return ValueError::kInvalid;
  }
  for (char c : text) {
    if (HexDigit(c) < 0) {
      *error = "not hex bytes";
      return ValueError::kInvalid;
    }
  }
  if (text.size() / 2 > column.field.length) {
    *error = TooLong(text.size() / 2, column, "bytes");
    return ValueError::kTooWide;
  }
  ParseHex(text, value);
  *length = static_cast<uint32_t>(text.size() / 2);
  return ValueError::kNone;
}

bool FormatBytes(const ColumnModel& column, const uint8_t* value, uint32_t length,
                 std::string* text, std::string*) {
  AppendHex(value, std::min<uint32_t>(length, column.field.length), false, text);
  return true;
}

// {Data1-Data2-Data3-Data4[0..1]-Data4[2..7]}: the first three fields are
// little-endian numbers, printed most significant digit first.
ValueError ParseGuid(const ColumnModel&, std::string_view text, uint8_t* value, uint32_t* length,
                     std::string* error) {
  if (text.size() == 38 && text.front() == '{' && text.back() == '}') {
    text = text.substr(1, 36);
  }
  uint8_t fields[16];
  bool valid =
      text.size() == 36 && text[8] == '-' && text[13] == '-' && text[18] == '-' &&
      text[23] == '-' && ParseHex(text.substr(0, 8), fields) &&
      ParseHex(text.substr(9, 4), fields + 4) && ParseHex(text.substr(14, 4), fields + 6) &&
      ParseHex(text.substr(19, 4), fields + 8) && ParseHex(text.substr(24, 12), fields + 10);
  if (!valid) {
    *error = "not a GUID ({XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX})";
    return ValueError::kInvalid;
  }
  // fields holds the text's bytes in reading order; the stored GUID reverses
  // Data1 (4 bytes), Data2 and Data3 (2 bytes each).
  const uint8_t stored[16] = {fields[3],  fields[2],  fields[1],  fields[0], fields[5],  fields[4],
                              fields[7],  fields[6],  fields[8],  fields[9], fields[10], fields[11],
                              fields[12], fields[13], fields[14], fields[15]};
  std::memcpy(value, stored, 16);
  *length = 16;
  return ValueError::kNone;
}

bool FormatGuid(const ColumnModel&, const uint8_t* value, uint32_t, std::string* text,
                std::string*) {
  const uint8_t fields[16] = {value[3],  value[2],  value[1],  value[0], value[5],  value[4],
                              value[7],  value[6],  value[8],  value[9], value[10], value[11],
                              value[12], value[13], value[14], value[15]};
  text->push_back('{');
  AppendHex(fields, 4, true, text);
  text->push_back('-');
  AppendHex(fields + 4, 2, true, text);
  text->push_back('-');
  AppendHex(fields + 6, 2, true, text);
  text->push_back('-');
  AppendHex(fields + 8, 2, true, text);
  text->push_back('-');
  AppendHex(fields + 10, 6, true, text);
  text->push_back('}');
  return true;
}

}  // namespace tolvarine::codecs
