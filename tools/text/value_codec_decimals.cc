// Currency, DECIMAL and DB_NUMERIC: exact decimal numbers.
#include <cstring>

#include "interfaces/pipeline_types.h"
#include "platform/decimal.h"
#include "tools/text/decimal_text.h"
#include "tools/text/value_codecs_by_type.h"

namespace tolvarine::codecs {
namespace {

constexpr uint32_t kCurrencyScale = 4;
constexpr uint32_t kMaxDecimalScale = 28;

// Digits beyond any value the types hold; checked before any arithmetic so
// that an absurdly long field costs nothing.
constexpr size_t kMaxSignificantDigits = 40;

// Trailing fraction zeros carry no value; drops them while the scale exceeds
// `maxScale`.
void DropFractionZerosAbove(DecimalText* number, size_t maxScale) {
  std::string& fraction = number->fractionDigits;
  while (fraction.size() > maxScale && fraction.back() == '0') fraction.pop_back();
}

}  // namespace

// A 64-bit signed integer counting ten-thousandths.
ValueError ParseCurrency(const ColumnModel&, std::string_view text, uint8_t* value,
                         uint32_t* length, std::string* error) {
  DecimalText number;
  if (!ParseDecimalText(text, &number)) {
    *error = "not a decimal number";
    return ValueError::kInvalid;
  }
  DropFractionZerosAbove(&number, kCurrencyScale);
  if (number.fractionDigits.size() > kCurrencyScale) {
    *error = "more than 4 decimal places (the precision of cy)";
    return ValueError::kInvalid;
  }
  BigUnsigned magnitude;
  uint8_t bytes[8];
  const uint64_t limit = number.negative ? (uint64_t{1} << 63) : (uint64_t{1} << 63) - 1;
  if (number.integerDigits.size() > kMaxSignificantDigits ||
      !ScaledMagnitude(number, kCurrencyScale, &magnitude) || !magnitude.ToBytesLE(bytes, 8) ||
      magnitude.Low64() > limit) {
    *error = "out of range for cy (-922337203685477.5808 to 922337203685477.5807)";
    return ValueError::kInvalid;
  }
  uint64_t units = number.negative ? 0 - magnitude.Low64() : magnitude.Low64();
  std::memcpy(value, &units, 8);
  *length = 8;
  return ValueError::kNone;
}

// Written with the fraction's trailing zeros dropped, and no point for whole numbers.
bool FormatCurrency(const ColumnModel&, const uint8_t* value, uint32_t, std::string* text,
                    std::string*) {
  int64_t units;
  std::memcpy(&units, value, 8);
  bool negative = units < 0;
  uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(units) : static_cast<uint64_t>(units);
  std::string digits;
  AppendScaledDecimal(negative, magnitude, kCurrencyScale, &digits);
  while (digits.back() == '0') digits.pop_back();
  if (digits.back() == '.') digits.pop_back();
  text->append(digits);
  return true;
}

// DECIMAL keeps the scale as written (1.50 stays 1.50), so the text and the
// bytes round-trip; trailing fraction zeros are dropped only as far as needed
// to fit 28 places and 96 bits.
ValueError ParseDecimal(const ColumnModel&, std::string_view text, uint8_t* value, uint32_t* length,
                        std::string* error) {
  DecimalText number;
  if (!ParseDecimalText(text, &number)) {
    *error = "not a decimal number";
    return ValueError::kInvalid;
  }
  DropFractionZerosAbove(&number, kMaxDecimalScale);
  if (number.fractionDigits.size() > kMaxDecimalScale) {
    *error = "more than 28 decimal places (the most a decimal holds)";
    return ValueError::kInvalid;
  }
  BigUnsigned magnitude;
  DECIMAL decimal{};
  uint8_t bytes[12];
  for (;;) {
    if (number.integerDigits.size() + number.fractionDigits.size() <= kMaxSignificantDigits) {
      ScaledMagnitude(number, static_cast<uint32_t>(number.fractionDigits.size()), &magnitude);
      if (magnitude.ToBytesLE(bytes, sizeof(bytes))) break;
    }
    if (number.fractionDigits.empty() || number.fractionDigits.back() != '0') {
      *error = "out of range for decimal (96 bits of digits, about 7.9e28)";
      return ValueError::kInvalid;
    }
    number.fractionDigits.pop_back();
  }
  decimal.scale = static_cast<uint8_t>(number.fractionDigits.size());
  decimal.sign = number.negative ? DECIMAL_NEG : 0;
  std::memcpy(&decimal.Lo64, bytes, 8);
  std::memcpy(&decimal.Hi32, bytes + 8, 4);
  std::memcpy(value, &decimal, sizeof(decimal));
  *length = sizeof(decimal);
  return ValueError::kNone;
}

bool FormatDecimal(const ColumnModel&, const uint8_t* value, uint32_t, std::string* text,
                   std::string* error) {
  DECIMAL decimal;
  std::memcpy(&decimal, value, sizeof(decimal));
  if (decimal.scale > kMaxDecimalScale || (decimal.sign != 0 && decimal.sign != DECIMAL_NEG)) {
    *error = "malformed decimal (scale above 28 or an invalid sign)";
    return false;
  }
  uint8_t bytes[12];
  std::memcpy(bytes, &decimal.Lo64, 8);
  std::memcpy(bytes + 8, &decimal.Hi32, 4);
  AppendScaledDecimal(decimal.sign == DECIMAL_NEG, bytes, sizeof(bytes), decimal.scale, text);
  return true;
}

// DB_NUMERIC takes the column's precision and scale; a value with fewer
// decimal places is padded to the scale, one with more is an error unless the
// extra digits are zeros.
ValueError ParseNumeric(const ColumnModel& column, std::string_view text, uint8_t* value,
                        uint32_t* length, std::string* error) {
  const uint32_t precision = column.field.precision, scale = column.field.scale;
  DecimalText number;
  if (!ParseDecimalText(text, &number)) {
    *error = "not a decimal number";
    return ValueError::kInvalid;
  }
  std::string typeName = FieldTypeName(column.field);
  if (number.integerDigits.size() > precision - scale) {
    *error = "out of range for " + typeName + " (at most " + std::to_string(precision - scale) +
             " digits before the point)";
    return ValueError::kInvalid;
  }
  BigUnsigned magnitude;
  if (!ScaledMagnitude(number, scale, &magnitude)) {
    *error =
        "more than " + std::to_string(scale) + " decimal places (the scale of " + typeName + ")";
    return ValueError::kInvalid;
  }
  DB_NUMERIC numeric{};
  numeric.precision = static_cast<uint8_t>(precision);
  numeric.scale = static_cast<uint8_t>(scale);
  numeric.sign = number.negative ? 0 : 1;
  magnitude.ToBytesLE(numeric.val, sizeof(numeric.val));  // At most 38 digits: fits 128 bits.
  std::memcpy(value, &numeric, sizeof(numeric));
  *length = sizeof(numeric);
  return ValueError::kNone;
}

// Written at the value's own scale, which may differ from the column's in
// records that were not produced from text.
bool FormatNumeric(const ColumnModel&, const uint8_t* value, uint32_t, std::string* text,
                   std::string* error) {
  DB_NUMERIC numeric;
  std::memcpy(&numeric, value, sizeof(numeric));
  if (numeric.scale > kMaxNumericPrecision) {
    *error = "malformed numeric (scale above 38)";
    return false;
  }
  AppendScaledDecimal(numeric.sign == 0, numeric.val, sizeof(numeric.val), numeric.scale, text);
  return true;
}

}  // namespace tolvarine::codecs
