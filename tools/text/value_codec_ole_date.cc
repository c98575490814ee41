// The automation date (DT_DATE): a double counting days since 1899-12-30,
// whose whole part is the day and whose fraction is the time of that day. For
// days before 1899-12-30 the whole part is negative and the time is
// subtracted: -1.25 is 1899-12-29 06:00.
//
// Reading a text computes the nearest double to the exact value it denotes,
// and writing a value searches for the shortest fraction of a second that
// reads back to the very same double, so every value read from text is
// written back unchanged. Values between -1 and 0 (written by other programs)
// denote the same times as their absolute values and are written as those.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "tools/text/big_unsigned.h"
#include "tools/text/calendar.h"
#include "tools/text/value_codecs_by_type.h"

namespace tolvarine::codecs {
namespace {

constexpr uint64_t kSecondsPerDay = 86400;
// The exact expansion of any double's fraction of a day has fewer digits.
constexpr size_t kMaxFractionDigits = 1200;
constexpr int64_t kFirstYear = 1, kLastYear = 9999;

int64_t OleEpochDays() {
  return DaysFromCivil(CivilDate{1899, 12, 30});
}

// The double nearest to (wholeSeconds + 0.fraction) / 86400, ties to even.
double RoundedDays(uint64_t wholeSeconds, std::string_view fraction) {
  BigUnsigned numerator =
      BigUnsigned::FromDecimal(std::to_string(wholeSeconds) + std::string(fraction));
  if (numerator.IsZero()) return 0.0;
  BigUnsigned denominator(kSecondsPerDay);
  for (size_t i = 0; i < fraction.size(); ++i) denominator.MultiplyAdd(10, 0);
  // Scale so that the quotient has 63 or 64 bits: 53 for the mantissa, the
  // rest and the remainders for rounding.
  const int64_t shift = std::max<int64_t>(0, 63 + static_cast<int64_t>(denominator.BitLength()) -
                                                 static_cast<int64_t>(numerator.BitLength()));
  numerator.ShiftLeft(static_cast<size_t>(shift));
  bool inexact = false;
  size_t pending = fraction.size();
  while (pending > 0) {
    size_t step = std::min<size_t>(pending, 9);
    uint32_t divisor = 1;
    for (size_t i = 0; i < step; ++i) divisor *= 10;
    inexact |= numerator.DivideBy(divisor) != 0;
    pending -= step;
  }
  inexact |= numerator.DivideBy(kSecondsPerDay) != 0;
  const uint64_t quotient = numerator.Low64();
  const int bits = std::bit_width(quotient);
  const int64_t exponent = bits - 1 - shift;
  int64_t drop = bits - 53;
  if (exponent < -1022) drop += -1022 - exponent;  // Subnormal: fewer mantissa bits.
  if (drop >= 64) return 0.0;
  uint64_t mantissa = quotient;
  if (drop > 0) {
    mantissa = quotient >> drop;
    const uint64_t rest = quotient & ((uint64_t{1} << drop) - 1);
    const uint64_t half = uint64_t{1} << (drop - 1);
    if (rest > half || (rest == half && (inexact || (mantissa & 1) != 0))) ++mantissa;
  } else {
    drop = 0;
  }
  return std::ldexp(static_cast<double>(mantissa), static_cast<int>(drop - shift));
}

// The value that a text of this day and time of day reads as.
double DaysValue(int64_t day, uint64_t secondsOfDay, std::string_view fraction) {
  const uint64_t whole =
      static_cast<uint64_t>(day < 0 ? -day : day) * kSecondsPerDay + secondsOfDay;
  const double magnitude = RoundedDays(whole, fraction);
  return day < 0 ? -magnitude : magnitude;
}

// The exact seconds of `dayFraction` (0 <= dayFraction < 1) times 86400: its
// whole seconds and the fraction's digits without trailing zeros.
void ExactSeconds(double dayFraction, uint64_t* whole, std::string* fraction) {
  *whole = 0;
  fraction->clear();
  if (dayFraction == 0) return;
  int exponent;
  const double normalized = std::frexp(dayFraction, &exponent);
  uint64_t mantissa = static_cast<uint64_t>(std::ldexp(normalized, 53));
  int64_t power = exponent - 53;  // dayFraction = mantissa * 2^power, power < 0.
  while ((mantissa & 1) == 0 && power < 0) {
    mantissa >>= 1;
    ++power;
  }
  // mantissa * 86400 / 2^n = mantissa * 86400 * 5^n / 10^n.
  BigUnsigned scaled(mantissa);
  scaled.MultiplyAdd(kSecondsPerDay, 0);
  const size_t decimals = static_cast<size_t>(-power);
  for (size_t remaining = decimals; remaining > 0;) {
    const size_t step = std::min<size_t>(remaining, 13);
    uint32_t factor = 1;
    for (size_t i = 0; i < step; ++i) factor *= 5;
    scaled.MultiplyAdd(factor, 0);
    remaining -= step;
  }
  std::string digits = scaled.ToDecimal();
  if (digits.size() <= decimals) digits.insert(0, decimals + 1 - digits.size(), '0');
  *whole = std::stoull(digits.substr(0, digits.size() - decimals));
  *fraction = digits.substr(digits.size() - decimals);
  while (!fraction->empty() && fraction->back() == '0') fraction->pop_back();
}

// Whether the value names a time from 0001-01-01 to 9999-12-31 inclusive. A
// text of a time within those days may still read as a value beyond them when
// it rounds to the next midnight, so reading checks the same rule as writing.
bool InRange(double days) {
  const double first =
      static_cast<double>(DaysFromCivil(CivilDate{kFirstYear, 1, 1}) - OleEpochDays());
  const double last =
      static_cast<double>(DaysFromCivil(CivilDate{kLastYear, 12, 31}) - OleEpochDays());
  return std::isfinite(days) && days > first - 1 && days < last + 1;
}

constexpr char kRangeError[] = "date value out of the range 0001-01-01 to 9999-12-31";

// Rounds whole.fraction half up to `digits` fraction digits.
void RoundSeconds(uint64_t whole, const std::string& fraction, size_t digits,
                  uint64_t* roundedWhole, std::string* roundedFraction) {
  *roundedWhole = whole;
  *roundedFraction = fraction.substr(0, digits);
  if (digits >= fraction.size() || fraction[digits] < '5') return;
  for (size_t i = digits; i-- > 0;) {
    if ((*roundedFraction)[i] != '9') {
      ++(*roundedFraction)[i];
      return;
    }
    (*roundedFraction)[i] = '0';
  }
  ++*roundedWhole;
}

}  // namespace

ValueError ParseOleDate(const ColumnModel&, std::string_view text, uint8_t* value, uint32_t* length,
                        std::string* error) {
  CivilDate date;
  TimeOfDay time;
  if (!ParseTimestampText(text, &date, &time) || date.year < kFirstYear || date.year > kLastYear) {
    *error = "not a valid date and time from 0001-01-01 to 9999-12-31 (YYYY-MM-DD HH:MM:SS[.fff])";
    return ValueError::kInvalid;
  }
  if (time.fraction.size() > kMaxFractionDigits) {
    *error = "a fraction of a second of more than 1200 digits";
    return ValueError::kInvalid;
  }
  const int64_t day = DaysFromCivil(date) - OleEpochDays();
  const double days =
      DaysValue(day, (time.hour * 60 + time.minute) * 60 + time.second, time.fraction);
  if (!InRange(days)) {
    *error = std::string(kRangeError) + " once rounded to the nearest date value";
    return ValueError::kInvalid;
  }
  std::memcpy(value, &days, 8);
  *length = 8;
  return ValueError::kNone;
}

bool FormatOleDate(const ColumnModel&, const uint8_t* value, uint32_t, std::string* text,
                   std::string* error) {
  double days;
  std::memcpy(&days, value, 8);
  if (!InRange(days)) {
    *error = kRangeError;
    return false;
  }
  const double wholeDays = std::trunc(days);
  const int64_t day = static_cast<int64_t>(wholeDays);
  const double dayFraction = days >= 0 ? days - wholeDays : wholeDays - days;
  const double target = day == 0 ? dayFraction : days;
  uint64_t whole;
  std::string fraction;
  ExactSeconds(dayFraction, &whole, &fraction);
  for (size_t digits = 0; digits <= fraction.size(); ++digits) {
    uint64_t roundedWhole;
    std::string roundedFraction;
    RoundSeconds(whole, fraction, digits, &roundedWhole, &roundedFraction);
    // Rounding up to the next midnight would name another day; the exact
    // expansion, tried last, never does.
    if (roundedWhole >= kSecondsPerDay) continue;
    if (digits < fraction.size() && DaysValue(day, roundedWhole, roundedFraction) != target) {
      continue;
    }
    AppendDate(CivilFromDays(OleEpochDays() + day), text);
    text->push_back(' ');
    AppendTime(TimeOfDay{static_cast<unsigned>(roundedWhole / 3600),
                         static_cast<unsigned>(roundedWhole / 60 % 60),
                         static_cast<unsigned>(roundedWhole % 60), roundedFraction},
               text);
    return true;
  }
  *error = "date value has no text form";  // Unreachable: the exact expansion always fits.
  return false;
}

}  // namespace tolvarine::codecs
