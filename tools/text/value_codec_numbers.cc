// Integers, floating point and booleans.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>

#include "tools/text/value_codecs_by_type.h"

namespace tolvarine::codecs {
namespace {

template <class T>
ValueError ParseInteger(std::string_view text, uint8_t* value, uint32_t* length,
                        std::string* error) {
  bool negative = !text.empty() && text.front() == '-';
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) text.remove_prefix(1);
  std::string_view digits = text;
  if (digits.empty() ||
      !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    *error = "not an integer";
    return ValueError::kInvalid;
  }
  uint64_t magnitude = 0;
  auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), magnitude);
  constexpr uint64_t kMaxPositive = std::numeric_limits<T>::max();
  constexpr uint64_t kMaxNegative =
      std::is_signed_v<T> ? static_cast<uint64_t>(std::numeric_limits<T>::max()) + 1 : 0;
  if (ec != std::errc() || magnitude > (negative ? kMaxNegative : kMaxPositive)) {
    *error = "out of range " + std::to_string(std::numeric_limits<T>::min()) + " to " +
             std::to_string(std::numeric_limits<T>::max());
    return ValueError::kInvalid;
  }
  // Two's complement negation in the unsigned domain avoids overflow at the minimum.
  T result = static_cast<T>(negative ? 0 - magnitude : magnitude);
  std::memcpy(value, &result, sizeof(T));
  *length = sizeof(T);
  return ValueError::kNone;
}

// Integers in decimal; floats in the shortest form that reads back exactly.
template <class T>
bool FormatNumber(const uint8_t* value, std::string* text) {
  T number;
  std::memcpy(&number, value, sizeof(T));
  char buffer[48];
  auto result = std::to_chars(buffer, buffer + sizeof(buffer), number);
  text->append(buffer, result.ptr);
  return true;
}

template <class T>
ValueError ParseFloat(std::string_view text, uint8_t* value, uint32_t* length, std::string* error) {
  // from_chars takes no '+'; a sign after it ("+-1") is still rejected below.
  if (!text.empty() && text.front() == '+' && (text.size() == 1 || text[1] != '-')) {
    text.remove_prefix(1);
  }
  T number;
  auto [end, ec] =
      std::from_chars(text.data(), text.data() + text.size(), number, std::chars_format::general);
  if (text.empty() || end != text.data() + text.size() ||
      (ec != std::errc() && ec != std::errc::result_out_of_range)) {
    *error = "not a number";
    return ValueError::kInvalid;
  }
  if (ec == std::errc::result_out_of_range) {
    *error = std::is_same_v<T, float> ? "out of range for r4 (magnitudes 1.4e-45 to 3.4e38)"
                                      : "out of range for r8 (magnitudes 4.9e-324 to 1.8e308)";
    return ValueError::kInvalid;
  }
  std::memcpy(value, &number, sizeof(T));
  *length = sizeof(T);
  return ValueError::kNone;
}

bool EqualsIgnoringCase(std::string_view text, std::string_view lower) {
  if (text.size() != lower.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != lower[i]) return false;
  }
  return true;
}

}  // namespace

#define TOLVARINE_INTEGER_CODEC(Name, T)                                                   \
  ValueError Parse##Name(const ColumnModel&, std::string_view text, uint8_t* value,        \
                         uint32_t* length, std::string* error) {                           \
    return ParseInteger<T>(text, value, length, error);                                    \
  }                                                                                        \
  bool Format##Name(const ColumnModel&, const uint8_t* value, uint32_t, std::string* text, \
                    std::string*) {                                                        \
    return FormatNumber<T>(value, text);                                                  \
  }

TOLVARINE_INTEGER_CODEC(I1, int8_t)
TOLVARINE_INTEGER_CODEC(I2, int16_t)
TOLVARINE_INTEGER_CODEC(I4, int32_t)
TOLVARINE_INTEGER_CODEC(I8, int64_t)
TOLVARINE_INTEGER_CODEC(UI1, uint8_t)
TOLVARINE_INTEGER_CODEC(UI2, uint16_t)
TOLVARINE_INTEGER_CODEC(UI4, uint32_t)
TOLVARINE_INTEGER_CODEC(UI8, uint64_t)
#undef TOLVARINE_INTEGER_CODEC

ValueError ParseR4(const ColumnModel&, std::string_view text, uint8_t* value, uint32_t* length,
                   std::string* error) {
  return ParseFloat<float>(text, value, length, error);
}
bool FormatR4(const ColumnModel&, const uint8_t* value, uint32_t, std::string* text, std::string*) {
  return FormatNumber<float>(value, text);
}
ValueError ParseR8(const ColumnModel&, std::string_view text, uint8_t* value, uint32_t* length,
                   std::string* error) {
  return ParseFloat<double>(text, value, length, error);
}
bool FormatR8(const ColumnModel&, const uint8_t* value, uint32_t, std::string* text, std::string*) {
  return FormatNumber<double>(value, text);
}

// VARIANT_BOOL: 0 is false, 0xFFFF (all bits set) is true.
ValueError ParseBool(const ColumnModel&, std::string_view text, uint8_t* value, uint32_t* length,
                     std::string* error) {
  uint16_t flag;
  if (EqualsIgnoringCase(text, "true") || text == "1") {
    flag = 0xFFFF;
  } else if (EqualsIgnoringCase(text, "false") || text == "0") {
    flag = 0;
  } else {
    *error = "not a boolean (true, false, 1 or 0)";
    return ValueError::kInvalid;
  }
  std::memcpy(value, &flag, 2);
  *length = 2;
  return ValueError::kNone;
}

bool FormatBool(const ColumnModel&, const uint8_t* value, uint32_t, std::string* text,
                std::string*) {
  uint16_t flag;
  std::memcpy(&flag, value, 2);
  text->append(flag != 0 ? "true" : "false");
  return true;
}

}  // namespace tolvarine::codecs
