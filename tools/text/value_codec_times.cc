// DBDATE, DBTIME, DBTIMESTAMP and FILETIME.
#include <cstring>
#include <limits>

#include "interfaces/pipeline_types.h"
#include "tools/text/calendar.h"
#include "tools/text/value_codecs_by_type.h"

namespace tolvarine::codecs {
namespace {

constexpr uint64_t kTicksPerSecond = 10000000;  // FILETIME counts 100 ns.
constexpr uint64_t kTicksPerDay = 86400 * kTicksPerSecond;
constexpr unsigned kTickDigits = 7;
constexpr unsigned kNanosecondDigits = 9;

bool YearFitsInt16(int64_t year) {
  return year >= std::numeric_limits<int16_t>::min() && year <= std::numeric_limits<int16_t>::max();
}

// Stored fields that name no day or time of day, as a fixed-width record may
// hold, have no text form that reads back.
bool Exists(const CivilDate& date, const TimeOfDay& time, std::string* error) {
  if (DateExists(date) && time.hour < 24 && time.minute < 60 && time.second < 60) {
    return true;
  }
  *error = "malformed value (no such day or time of day)";
  return false;
}

int64_t FileTimeEpochDays() {
  return DaysFromCivil(CivilDate{1601, 1, 1});
}

}  // namespace

ValueError ParseDbDate(const ColumnModel&, std::string_view text, uint8_t* value, uint32_t* length,
                       std::string* error) {
  CivilDate date;
  if (!ParseDateText(text, &date) || !YearFitsInt16(date.year)) {
    *error = "not a valid date (YYYY-MM-DD)";
    return ValueError::kInvalid;
  }
  DBDATE stored{static_cast<int16_t>(date.year), static_cast<uint16_t>(date.month),
                static_cast<uint16_t>(date.day)};
  std::memcpy(value, &stored, sizeof(stored));
  *length = sizeof(stored);
  return ValueError::kNone;
}

bool FormatDbDate(const ColumnModel&, const uint8_t* value, uint32_t, std::string* text,
                  std::string* error) {
  DBDATE stored;
  std::memcpy(&stored, value, sizeof(stored));
  if (!Exists(CivilDate{stored.year, stored.month, stored.day}, {}, error)) return false;
  AppendDate(CivilDate{stored.year, stored.month, stored.day}, text);
  return true;
}

ValueError ParseDbTime(const ColumnModel&, std::string_view text, uint8_t* value, uint32_t* length,
                       std::string* error) {
  TimeOfDay time;
  if (!ParseTimeText(text, &time) || !time.fraction.empty()) {
    *error = "not a valid time (HH:MM:SS, whole seconds)";
    return ValueError::kInvalid;
  }
  DBTIME stored{static_cast<uint16_t>(time.hour), static_cast<uint16_t>(time.minute),
                static_cast<uint16_t>(time.second)};
  std::memcpy(value, &stored, sizeof(stored));
  *length = sizeof(stored);
  return ValueError::kNone;
}

bool FormatDbTime(const ColumnModel&, const uint8_t* value, uint32_t, std::string* text,
                  std::string* error) {
  DBTIME stored;
  std::memcpy(&stored, value, sizeof(stored));
  if (!Exists({}, TimeOfDay{stored.hour, stored.minute, stored.second, {}}, error)) return false;
  AppendTime(TimeOfDay{stored.hour, stored.minute, stored.second, {}}, text);
  return true;
}

ValueError ParseDbTimestamp(const ColumnModel&, std::string_view text, uint8_t* value,
                            uint32_t* length, std::string* error) {
  CivilDate date;
  TimeOfDay time;
  uint64_t nanoseconds = 0;
  if (!ParseTimestampText(text, &date, &time) || !YearFitsInt16(date.year)) {
    *error = "not a valid timestamp (YYYY-MM-DD HH:MM:SS[.fffffffff])";
    return ValueError::kInvalid;
  }
  if (!FractionToUnits(time.fraction, kNanosecondDigits, &nanoseconds)) {
    *error = "a fraction of a second finer than the nanoseconds of dbtimestamp";
    return ValueError::kInvalid;
  }
  DBTIMESTAMP stored{static_cast<int16_t>(date.year),    static_cast<uint16_t>(date.month),
                     static_cast<uint16_t>(date.day),    static_cast<uint16_t>(time.hour),
                     static_cast<uint16_t>(time.minute), static_cast<uint16_t>(time.second),
                     static_cast<uint32_t>(nanoseconds)};
  std::memcpy(value, &stored, sizeof(stored));
  *length = sizeof(stored);
  return ValueError::kNone;
}

bool FormatDbTimestamp(const ColumnModel&, const uint8_t* value, uint32_t, std::string* text,
                       std::string* error) {
  DBTIMESTAMP stored;
  std::memcpy(&stored, value, sizeof(stored));
  if (stored.fraction > 999999999) {
    *error = "malformed dbtimestamp (fraction above 999999999 ns)";
    return false;
  }
  if (!Exists(CivilDate{stored.year, stored.month, stored.day},
              TimeOfDay{stored.hour, stored.minute, stored.second, {}}, error)) {
    return false;
  }
  AppendDate(CivilDate{stored.year, stored.month, stored.day}, text);
  text->push_back(' ');
  AppendTime(TimeOfDay{stored.hour, stored.minute, stored.second,
                       UnitsToFraction(stored.fraction, kNanosecondDigits)},
             text);
  return true;
}

// 100 ns ticks since 1601-01-01 00:00:00, stored as a little-endian 64-bit
// count (the low word first, as FILETIME lays it out).
ValueError ParseFileTime(const ColumnModel&, std::string_view text, uint8_t* value,
                         uint32_t* length, std::string* error) {
  CivilDate date;
  TimeOfDay time;
  uint64_t ticksInSecond = 0;
  if (!ParseTimestampText(text, &date, &time)) {
    *error = "not a valid timestamp (YYYY-MM-DD HH:MM:SS[.fffffff])";
    return ValueError::kInvalid;
  }
  if (!FractionToUnits(time.fraction, kTickDigits, &ticksInSecond)) {
    *error = "a fraction of a second finer than the 100 ns of filetime";
    return ValueError::kInvalid;
  }
  const int64_t days = DaysFromCivil(date) - FileTimeEpochDays();
  const uint64_t ticksInDay =
      ((time.hour * 60 + time.minute) * 60 + time.second) * kTicksPerSecond + ticksInSecond;
  const uint64_t maxTicks = std::numeric_limits<uint64_t>::max();
  if (days < 0 || static_cast<uint64_t>(days) > (maxTicks - ticksInDay) / kTicksPerDay) {
    *error = "out of range for filetime (1601-01-01 to 60056-05-28 05:36:10.9551615)";
    return ValueError::kInvalid;
  }
  uint64_t ticks = static_cast<uint64_t>(days) * kTicksPerDay + ticksInDay;
  std::memcpy(value, &ticks, 8);
  *length = 8;
  return ValueError::kNone;
}

bool FormatFileTime(const ColumnModel&, const uint8_t* value, uint32_t, std::string* text,
                    std::string*) {
  uint64_t ticks;
  std::memcpy(&ticks, value, 8);
  const uint64_t ticksInDay = ticks % kTicksPerDay;
  const uint64_t seconds = ticksInDay / kTicksPerSecond;
  AppendDate(CivilFromDays(FileTimeEpochDays() + static_cast<int64_t>(ticks / kTicksPerDay)), text);
  text->push_back(' ');
  AppendTime(
      TimeOfDay{static_cast<unsigned>(seconds / 3600), static_cast<unsigned>(seconds / 60 % 60),
                static_cast<unsigned>(seconds % 60),
                UnitsToFraction(ticksInDay % kTicksPerSecond, kTickDigits)},
      text);
  return true;
}

}  // namespace tolvarine::codecs
