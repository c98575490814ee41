#include "tools/text/calendar.h"

#include <charconv>
#include <chrono>

namespace tolvarine {
namespace {

namespace chrono = std::chrono;

// std::chrono::year holds -32767 to 32767 only, and the codecs reach further
// (six-digit years in text, FILETIME to 60056). The Gregorian calendar
// repeats every 400 years, 146097 days, so a date is moved by whole cycles
// into the years 0 to 399, counted there, and moved back.
constexpr int64_t kCycleYears = 400;
constexpr int64_t kCycleDays = 146097;

int64_t FloorDivide(int64_t value, int64_t divisor) {
  return value / divisor - (value % divisor < 0 ? 1 : 0);
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
  const int64_t cycles = FloorDivide(date.year, kCycleYears);
  const chrono::sys_days first = chrono::year(static_cast<int>(date.year - cycles * kCycleYears)) /
                                 chrono::month(date.month) / 1;
  return first.time_since_epoch().count() + cycles * kCycleDays +
         (static_cast<int64_t>(date.day) - 1);
}

CivilDate CivilFromDays(int64_t days) {
  const int64_t cycles = FloorDivide(days, kCycleDays);
  const chrono::year_month_day date{chrono::sys_days(chrono::days(days - cycles * kCycleDays))};
  return CivilDate{static_cast<int>(date.year()) + cycles * kCycleYears,
                   static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day())};
}

bool DateExists(const CivilDate& date) {
  // chrono::month and chrono::day keep only a byte of their value.
  if (date.month > 12 || date.day > 31) return false;
  const int year = static_cast<int>(date.year - FloorDivide(date.year, kCycleYears) * kCycleYears);
  return (chrono::year(year) / chrono::month(date.month) / chrono::day(date.day)).ok();
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
  const CivilDate parsed{negative ? -static_cast<int64_t>(year) : static_cast<int64_t>(year),
                         static_cast<unsigned>(month), static_cast<unsigned>(day)};
  if (!DateExists(parsed)) return false;
  *date = parsed;
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
