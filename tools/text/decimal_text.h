// Decimal numbers as text: [+-]digits[.digits], also "5." and ".5".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "tools/text/big_unsigned.h"

namespace tolvarine {

struct DecimalText {
  bool negative = false;
  std::string integerDigits;   // Without leading zeros.
  std::string fractionDigits;  // As written, trailing zeros included.
};

// False when `text` is not a decimal number.
bool ParseDecimalText(std::string_view text, DecimalText* number);

// The number times 10^scale as an integer. False when that drops non-zero
// fraction digits (the number has more than `scale` decimal places).
bool ScaledMagnitude(const DecimalText& number, uint32_t scale, BigUnsigned* magnitude);

// Appends [-]integer[.fraction] for magnitude / 10^scale, with exactly
// `scale` fraction digits and at least one integer digit. The magnitude is
// `size` bytes, least significant first (a DECIMAL's 96 bits, a NUMERIC's
// 128); one that fits 64 bits, as most values do, needs no big-number
// arithmetic and no allocation.
void AppendScaledDecimal(bool negative, const uint8_t* magnitude, size_t size, uint32_t scale,
                         std::string* text);
void AppendScaledDecimal(bool negative, uint64_t magnitude, uint32_t scale, std::string* text);

}  // namespace tolvarine
