// The proleptic Gregorian calendar and the text forms of dates and times:
// YYYY-MM-DD, HH:MM:SS[.fraction] and the two joined by a space (or 'T').
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tolvarine {

struct CivilDate {
  int64_t year = 0;  // Astronomical numbering: 0 is 1 BC.
  unsigned month = 1;
  unsigned day = 1;
};

struct TimeOfDay {
  unsigned hour = 0;
  unsigned minute = 0;
  unsigned second = 0;
  std::string fraction;  // Digits after the point, as written; empty: none.
};

// Days since 1970-01-01 (negative before it), for any year and a month of
// 1-12; a day past the month's end counts on into the months after it.
int64_t DaysFromCivil(const CivilDate& date);
CivilDate CivilFromDays(int64_t days);
// Whether the month is 1-12 and the day one of that month, in any year.
bool DateExists(const CivilDate& date);

// A year of up to six digits with an optional '-', a month of 1-12 and a day
// that exists in that month. False for anything else.
bool ParseDateText(std::string_view text, CivilDate* date);
// Hours 0-23, minutes and seconds 0-59, each one or two digits, then an
// optional '.' and one or more digits.
bool ParseTimeText(std::string_view text, TimeOfDay* time);
// A date, optionally followed by ' ' or 'T' and a time (midnight when absent).
bool ParseTimestampText(std::string_view text, CivilDate* date, TimeOfDay* time);

// YYYY-MM-DD with at least four year digits.
void AppendDate(const CivilDate& date, std::string* text);
// HH:MM:SS, then '.' and the fraction with its trailing zeros dropped, if any
// non-zero digit remains.
void AppendTime(const TimeOfDay& time, std::string* text);

// The `digits` leading digits of a fraction, zero padded; false when a
// non-zero digit lies beyond them.
bool FractionToUnits(std::string_view fraction, unsigned digits, uint64_t* units);
// `units` as exactly `digits` digits.
std::string UnitsToFraction(uint64_t units, unsigned digits);

}  // namespace tolvarine
