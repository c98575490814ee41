#include "tools/decimal_text.h"

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

void AppendScaledDecimal(bool negative, const BigUnsigned& magnitude, uint32_t scale,
                         std::string* text) {
  std::string digits = magnitude.ToDecimal();
  if (digits.size() <= scale) digits.insert(0, scale + 1 - digits.size(), '0');
  if (negative) text->push_back('-');
  text->append(digits, 0, digits.size() - scale);
  if (scale > 0) {
    text->push_back('.');
    text->append(digits, digits.size() - scale, scale);
  }
}

}  // namespace tolvarine
