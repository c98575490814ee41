#include "tools/text/decimal_text.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <string_view>

namespace tolvarine {
namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

bool ParseDecimalText(std::string_view text, DecimalText* number) {
  *number = DecimalText{};
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    number->negative = text.front() == '-';
    text.remove_prefix(1);
  }
  size_t point = text.find('.');
  std::string_view integer = text.substr(0, point);
  std::string_view fraction =
      point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
  if (integer.empty() && fraction.empty()) return false;
  for (char c : integer) {
    if (!IsDigit(c)) return false;
  }
  for (char c : fraction) {
    if (!IsDigit(c)) return false;
  }
  size_t firstSignificant = integer.find_first_not_of('0');
  number->integerDigits = firstSignificant == std::string_view::npos
                              ? ""
                              : std::string(integer.substr(firstSignificant));
  number->fractionDigits = std::string(fraction);
  return true;
}

bool ScaledMagnitude(const DecimalText& number, uint32_t scale, BigUnsigned* magnitude) {
  std::string digits = number.integerDigits;
  std::string_view fraction = number.fractionDigits;
  if (fraction.size() > scale) {
    if (fraction.find_first_not_of('0', scale) != std::string_view::npos) return false;
    fraction = fraction.substr(0, scale);
  }
  digits.append(fraction);
  digits.append(scale - fraction.size(), '0');
  *magnitude = BigUnsigned::FromDecimal(digits);
  return true;
}

namespace {

// `digits` with a point `scale` digits from the right, zeros put in front
// where there are no more than `scale` of them.
void AppendScaledDigits(bool negative, std::string_view digits, uint32_t scale, std::string* text) {
  if (negative) text->push_back('-');
  if (digits.size() <= scale) {
    text->append("0.");
    text->append(scale - digits.size(), '0');
    text->append(digits);
    return;
  }
  text->append(digits.substr(0, digits.size() - scale));
  if (scale > 0) {
    text->push_back('.');
    text->append(digits.substr(digits.size() - scale));
  }
}

}  // namespace

void AppendScaledDecimal(bool negative, const uint8_t* magnitude, size_t size, uint32_t scale,
                         std::string* text) {
  uint64_t low = 0;  // The low 8 bytes, least significant first like the host's.
  std::memcpy(&low, magnitude, std::min<size_t>(size, sizeof(low)));
  bool fits = true;
  for (size_t i = sizeof(low); i < size; ++i) fits &= magnitude[i] == 0;
  if (!fits) {
    AppendScaledDigits(negative, BigUnsigned::FromBytesLE(magnitude, size).ToDecimal(), scale,
                       text);
    return;
  }
  AppendScaledDecimal(negative, low, scale, text);
}

void AppendScaledDecimal(bool negative, uint64_t magnitude, uint32_t scale, std::string* text) {
  char digits[24];
  const char* end = std::to_chars(digits, digits + sizeof(digits), magnitude).ptr;
  AppendScaledDigits(negative, std::string_view(digits, static_cast<size_t>(end - digits)), scale,
                     text);
}

}  // namespace tolvarine
