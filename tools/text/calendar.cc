#include "tools/text/calendar.h"

#include <charconv>

namespace tolvarine {
namespace {

bool IsLeapYear(int64_t year) {
  return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

unsigned DaysInMonth(int64_t year, unsigned month) {
  static constexpr unsigned kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// One to `maxDigits` decimal digits, the whole of `text`.
bool ParseSmallNumber(std::string_view text, size_t maxDigits, uint64_t* value) {
  if (text.empty() || text.size() > maxDigits) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  std::from_chars(text.data(), text.data() + text.size(), *value);
  return true;
}

void AppendPadded(uint64_t value, size_t width, std::string* text) {
  std::string digits = std::to_string(value);
  if (digits.size() < width) text->append(width - digits.size(), '0');
  text->append(digits);
}

}  // namespace

int64_t DaysFromCivil(const CivilDate& date) {
  const int64_t year = date.year - (date.month <= 2 ? 1 : 0);
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yearOfEra = year - era * 400;
  const int64_t month = date.month;
  const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + date.day - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

CivilDate CivilFromDays(int64_t days) {
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t dayOfEra = days - era * 146097;
  const int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
  CivilDate date;
  date.day = static_cast<unsigned>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
  date.month = static_cast<unsigned>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
  date.year = yearOfEra + era * 400 + (date.month <= 2 ? 1 : 0);
  return date;
}

bool ParseDateText(std::string_view text, CivilDate* date) {
  bool negative = !text.empty() && text.front() == '-';
  if (negative) text.remove_prefix(1);
  size_t first = text.find('-');
  if (first == std::string_view::npos) return false;
  size_t second = text.find('-', first + 1);
  if (second == std::string_view::npos) return false;
  uint64_t year, month, day;
  if (!ParseSmallNumber(text.substr(0, first), 6, &year) ||
      !ParseSmallNumber(text.substr(first + 1, second - first - 1), 2, &month) ||
      !ParseSmallNumber(text.substr(second + 1), 2, &day)) {
    return false;
  }
  date->year = negative ? -static_cast<int64_t>(year) : static_cast<int64_t>(year);
  if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(date->year, month)) return false;
  date->month = static_cast<unsigned>(month);
  date->day = static_cast<unsigned>(day);
  return true;
}

bool ParseTimeText(std::string_view text, TimeOfDay* time) {
  size_t point = text.find('.');
  std::string_view clock = text.substr(0, point);
  time->fraction.clear();
  if (point != std::string_view::npos) {
    std::string_view fraction = text.substr(point + 1);
    if (fraction.empty()) return false;
    for (char c : fraction) {
      if (c < '0' || c > '9') return false;
    }
    time->fraction = std::string(fraction);
  }
  size_t first = clock.find(':');
  if (first == std::string_view::npos) return false;
  size_t second = clock.find(':', first + 1);
  if (second == std::string_view::npos) return false;
  uint64_t hour, minute, second_;
  if (!ParseSmallNumber(clock.substr(0, first), 2, &hour) ||
      !ParseSmallNumber(clock.substr(first + 1, second - first - 1), 2, &minute) ||
      !ParseSmallNumber(clock.substr(second + 1), 2, &second_) || hour > 23 || minute > 59 ||
      second_ > 59) {
    return false;
  }
  time->hour = static_cast<unsigned>(hour);
  time->minute = static_cast<unsigned>(minute);
  time->second = static_cast<unsigned>(second_);
  return true;
}

bool ParseTimestampText(std::string_view text, CivilDate* date, TimeOfDay* time) {
  // The date's own '-' separators come before any ' ' or 'T'.
  size_t split = text.find_first_of(" T");
  *time = TimeOfDay{};
  if (split == std::string_view::npos) return ParseDateText(text, date);
  return ParseDateText(text.substr(0, split), date) && ParseTimeText(text.substr(split + 1), time);
}

void AppendDate(const CivilDate& date, std::string* text) {
  if (date.year < 0) text->push_back('-');
  AppendPadded(static_cast<uint64_t>(date.year < 0 ? -date.year : date.year), 4, text);
  text->push_back('-');
  AppendPadded(date.month, 2, text);
  text->push_back('-');
  AppendPadded(date.day, 2, text);
}

void AppendTime(const TimeOfDay& time, std::string* text) {
  AppendPadded(time.hour, 2, text);
  text->push_back(':');
  AppendPadded(time.minute, 2, text);
  text->push_back(':');
  AppendPadded(time.second, 2, text);
  size_t last = time.fraction.find_last_not_of('0');
  if (last != std::string::npos) {
    text->push_back('.');
    text->append(time.fraction, 0, last + 1);
  }
}

bool FractionToUnits(std::string_view fraction, unsigned digits, uint64_t* units) {
  if (fraction.size() > digits && fraction.find_first_not_of('0', digits) != std::string::npos) {
    return false;
  }
  *units = 0;
  for (unsigned i = 0; i < digits; ++i) {
    *units = *units * 10 + (i < fraction.size() ? static_cast<uint64_t>(fraction[i] - '0') : 0);
  }
  return true;
}

std::string UnitsToFraction(uint64_t units, unsigned digits) {
  std::string text;
  AppendPadded(units, digits, &text);
  return text;
}

}  // namespace tolvarine
