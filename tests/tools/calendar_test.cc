#include "tools/text/calendar.h"

#include <gtest/gtest.h>

#include <cstring>

#include "interfaces/pipeline_types.h"
#include "tools/text/value_codec.h"

namespace tolvarine {
namespace {

std::string Text(const CivilDate& date) {
  std::string text;
  AppendDate(date, &text);
  return text;
}

// The day after `date`, from the Gregorian rules alone.
CivilDate Next(CivilDate date) {
  static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = date.year % 4 == 0 && (date.year % 100 != 0 || date.year % 400 == 0);
  const unsigned last = date.month == 2 && leap ? 29 : kDays[date.month - 1];
  if (++date.day <= last) return date;
  date.day = 1;
  if (++date.month <= 12) return date;
  date.month = 1;
  ++date.year;
  return date;
}

// Every day of 802 years around year 0 in turn, then far years the codecs reach.
TEST(CalendarTest, EachDayFollowsTheLast) {
  EXPECT_EQ(DaysFromCivil({1970, 1, 1}), 0);
  // A day past its month's end counts on into the next.
  EXPECT_EQ(DaysFromCivil({2001, 2, 29}), DaysFromCivil({2001, 3, 1}));
  CivilDate date{-401, 1, 1};
  int64_t days = DaysFromCivil(date);
  while (date.year <= 401) {
    ASSERT_EQ(DaysFromCivil(date), days) << Text(date);
    ASSERT_EQ(Text(CivilFromDays(days)), Text(date));
    date = Next(date);
    ++days;
  }
  for (CivilDate far :
       {CivilDate{999999, 12, 31}, CivilDate{-999999, 1, 1}, CivilDate{60056, 5, 28}}) {
    EXPECT_EQ(Text(CivilFromDays(DaysFromCivil(far))), Text(far));
    EXPECT_EQ(DaysFromCivil(Next(far)), DaysFromCivil(far) + 1) << Text(far);
  }
  EXPECT_EQ(DaysFromCivil({60056, 5, 28}) - DaysFromCivil({1601, 1, 1}), 21350398);
}

// Stored dates from fixed-width records may hold anything; only days that exist have a text.
TEST(CalendarTest, StoredDatesThatNameNoDayAreRefused) {
  ColumnModel column;
  column.dataType = DT_DBDATE;
  const FormatValueFn format = SelectValueCodec(DT_DBDATE).format;
  auto formats = [&](int16_t year, uint16_t month, uint16_t day, std::string* text) {
    DBDATE stored{year, month, day};
    uint8_t bytes[sizeof(stored)];
    std::memcpy(bytes, &stored, sizeof(stored));
    std::string error;
    text->clear();
    return format(column, bytes, 0, text, &error);
  };
  std::string text;
  EXPECT_TRUE(formats(-32768, 2, 29, &text));
  EXPECT_EQ(text, "-32768-02-29");
  const uint16_t noDays[][2] = {{13, 1}, {2, 29}, {1, 257}};
  for (auto [month, day] : noDays) {
    EXPECT_FALSE(formats(2001, month, day, &text)) << month << "/" << day;
  }
}

}  // namespace
}  // namespace tolvarine
