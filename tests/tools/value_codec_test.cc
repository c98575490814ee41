#include "tools/text/value_codec.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "platform/decimal.h"

namespace tolvarine {
namespace {

ColumnModel Column(std::string_view type) {
  FieldSpec field{"c", {}};
  std::string error;
  EXPECT_TRUE(ParseFieldType(type, &field.type, &error)) << error;
  return MakeColumnModel(field);
}

struct Parsed {
  ValueError result;
  std::vector<uint8_t> bytes;
  uint32_t length = 0;
  std::string error;
};

Parsed Parse(const ColumnModel& column, std::string_view text) {
  Parsed parsed;
  parsed.bytes.assign(column.valueBytes, 0);
  parsed.result = SelectValueCodec(column.dataType)
                      .parse(column, text, parsed.bytes.data(), &parsed.length, &parsed.error);
  return parsed;
}

std::string Format(const ColumnModel& column, const std::vector<uint8_t>& bytes,
                   uint32_t length = 0) {
  std::string text, error;
  EXPECT_TRUE(SelectValueCodec(column.dataType).format(column, bytes.data(), length, &text, &error))
      << error;
  return text;
}

// Reads `text` and writes the value back.
std::string Canonical(std::string_view type, std::string_view text) {
  ColumnModel column = Column(type);
  Parsed parsed = Parse(column, text);
  EXPECT_EQ(parsed.result, ValueError::kNone) << type << " " << text << ": " << parsed.error;
  return Format(column, parsed.bytes, parsed.length);
}

bool Rejects(std::string_view type, std::string_view text) {
  return Parse(Column(type), text).result != ValueError::kNone;
}

// Pairs of a text of `type` and what it is written back as (kRefused: it is
// not read at all).
constexpr const char* kRefused = nullptr;
void Check(const char* type, std::initializer_list<const char*> pairs) {
  for (auto pair = pairs.begin(); pair != pairs.end(); pair += 2) {
    if (pair[1]) {
      EXPECT_EQ(Canonical(type, pair[0]), pair[1]) << type << " " << pair[0];
    } else {
      EXPECT_TRUE(Rejects(type, pair[0])) << type << " " << pair[0];
    }
  }
}

template <class T>
std::vector<uint8_t> Bytes(const T& value) {
  std::vector<uint8_t> bytes(sizeof(T));
  std::memcpy(bytes.data(), &value, sizeof(T));
  return bytes;
}

template <class T>
T ValueOf(std::string_view type, std::string_view text) {
  Parsed parsed = Parse(Column(type), text);
  EXPECT_EQ(parsed.result, ValueError::kNone) << parsed.error;
  T value;
  std::memcpy(&value, parsed.bytes.data(), sizeof(T));
  return value;
}

TEST(ValueCodecTest, IntegersCoverTheirWholeRangeAndNoMore) {
  Check("i1", {"-128", "-128", "+127", "127", "128", kRefused, "-129", kRefused});
  Check("i8", {"-9223372036854775808", "-9223372036854775808", "9223372036854775808", kRefused});
  Check("ui8", {"18446744073709551615", "18446744073709551615", "18446744073709551616", kRefused});
  Check("ui4", {"-1", kRefused});
  for (std::string_view bad : {"", "1.0", " 1", "0x10", "+"}) {
    EXPECT_TRUE(Rejects("i4", bad)) << bad;
  }
  EXPECT_EQ(ValueOf<int16_t>("i2", "-2"), -2);
  Parsed parsed = Parse(Column("i2"), "40000");
  EXPECT_EQ(parsed.error, "out of range -32768 to 32767");
}

TEST(ValueCodecTest, FloatsWriteTheShortestTextThatReadsBackExactly) {
  EXPECT_EQ(Canonical("r4", "0.1"), "0.1");
  EXPECT_EQ(Canonical("r8", "-0"), "-0");
  EXPECT_TRUE(std::signbit(ValueOf<double>("r8", "-0")));
  for (std::string_view bad : {"1e39", "", "1,5", "0x1p3"}) EXPECT_TRUE(Rejects("r4", bad)) << bad;
  // Infinities and NaN are values like any other; a NaN keeps its sign only.
  Check("r8", {"-Infinity", "-inf", "NaN", "nan", "-nan", "-nan"});
  EXPECT_EQ(Format(Column("r8"), Bytes(std::bit_cast<double>(uint64_t{0x7FF0000000000123}))),
            "nan");
  std::mt19937_64 random(7);
  ColumnModel r8 = Column("r8"), r4 = Column("r4");
  for (int i = 0; i < 2000; ++i) {
    double value = std::bit_cast<double>(random());
    if (!std::isfinite(value)) continue;
    Parsed back = Parse(r8, Format(r8, Bytes(value)));
    ASSERT_EQ(back.result, ValueError::kNone);
    ASSERT_EQ(back.bytes, Bytes(value)) << value;
    float single = std::bit_cast<float>(static_cast<uint32_t>(random()));
    if (!std::isfinite(single)) continue;
    back = Parse(r4, Format(r4, Bytes(single)));
    ASSERT_EQ(back.bytes, Bytes(single)) << single;
  }
}

TEST(ValueCodecTest, BooleansAreVariantBoolsAndCurrencyIsExactToFourPlaces) {
  EXPECT_EQ(ValueOf<uint16_t>("bool", "TRUE"), 0xFFFF);
  Check("bool", {"0", "false", "True", "true", "yes", kRefused});
  EXPECT_EQ(ValueOf<int64_t>("cy", "-0.0001"), -1);
  Check("cy", {"-12.3400", "-12.34", ".5", "0.5", "-922337203685477.5808", "-922337203685477.5808",
               "922337203685477.5808", kRefused, "1.00001", kRefused, ".", kRefused});
  EXPECT_TRUE(Rejects("cy", std::string(100000, '9')));
}

TEST(ValueCodecTest, DecimalKeepsTheScaleAsWritten) {
  DECIMAL decimal = ValueOf<DECIMAL>("decimal", "-1.50");
  EXPECT_TRUE(decimal.scale == 2 && decimal.sign == DECIMAL_NEG && decimal.Lo64 == 150u);
  Check("decimal", {"-0", "-0", "79228162514264337593543950336", kRefused});
  // Zeros beyond what fits are dropped; significant digits never are.
  EXPECT_EQ(Canonical("decimal", "79228162514264337593543950335.000"),
            "79228162514264337593543950335");
  EXPECT_TRUE(Rejects("decimal", "0." + std::string(28, '0') + "1"));
  // Mixed scales compare by value, which is what the sort relies on.
  DECIMAL a = ValueOf<DECIMAL>("decimal", "2.5"), b = ValueOf<DECIMAL>("decimal", "2.50000");
  EXPECT_EQ(plat::VarDecCmp(&a, &b), VARCMP_EQ);
  DECIMAL bad{};
  bad.scale = 29;
  std::string text, error;
  EXPECT_FALSE(SelectValueCodec(DT_DECIMAL)
                   .format(Column("decimal"), reinterpret_cast<uint8_t*>(&bad), 0, &text, &error));
}

TEST(ValueCodecTest, NumericTakesTheColumnScaleAndPrecision) {
  DB_NUMERIC n = ValueOf<DB_NUMERIC>("numeric(10,2)", "-5");
  EXPECT_TRUE(n.precision == 10 && n.scale == 2 && (n.val[0] | n.val[1] << 8) == 500);
  Check("numeric(10,2)",
        {"-5", "-5.00", "1.230", "1.23", "123456789", kRefused, "1.234", kRefused});
  Check("numeric(5,0)", {"-0", "-0"});
  EXPECT_EQ(Canonical("numeric(38,38)", "0." + std::string(38, '9')), "0." + std::string(38, '9'));

  // Records from elsewhere may carry another scale; each value is written at its own.
  DB_NUMERIC other{10, 4, 1, {7}};
  EXPECT_EQ(Format(Column("numeric(10,2)"), Bytes(other)), "0.0007");
}

TEST(ValueCodecTest, DatesAndTimesAreCheckedFieldByField) {
  Check("dbdate", {"2004-2-29", "2004-02-29", "-0044-03-15", "-0044-03-15", "2005-02-29", kRefused,
                   "40000-01-01", kRefused});
  Check("dbtime", {"7:05:09", "07:05:09", "24:00:00", kRefused, "12:00:00.5", kRefused});
  EXPECT_EQ(ValueOf<DBTIMESTAMP>("dbtimestamp", "2005-01-31 10:00:00.000123").fraction, 123000u);
  Check("dbtimestamp", {"2005-01-31T10:00:00.000123000", "2005-01-31 10:00:00.000123", "2005-01-31",
                        "2005-01-31 00:00:00", "2005-01-31 10:00:00.0000000001", kRefused});
}

TEST(ValueCodecTest, FileTimeCountsHundredNanosecondsFrom1601) {
  EXPECT_EQ(ValueOf<uint64_t>("filetime", "1970-01-01"), 116444736000000000u);
  EXPECT_EQ(Format(Column("filetime"), Bytes(~uint64_t{0})), "60056-05-28 05:36:10.9551615");
  Check("filetime", {"60056-05-28 05:36:10.9551616", kRefused, "1600-12-31 23:59:59", kRefused});
  std::mt19937_64 random(3);
  ColumnModel column = Column("filetime");
  for (int i = 0; i < 1000; ++i) {
    uint64_t ticks = random();
    ASSERT_EQ(Parse(column, Format(column, Bytes(ticks))).bytes, Bytes(ticks));
  }
}

// Automation dates count days from 1899-12-30 and subtract the time before it.
TEST(ValueCodecTest, AutomationDatesCountDaysFrom1899) {
  EXPECT_EQ(ValueOf<double>("date", "1900-01-01 12:00:00"), 2.5);
  EXPECT_EQ(ValueOf<double>("date", "1899-12-29 06:00:00"), -1.25);
  // The last one is within the last day as written, but rounds to the midnight after it.
  Check("date", {"0001-01-01", "0001-01-01 00:00:00", "10000-01-01", kRefused,
                 "9999-12-31 23:59:59.99999", kRefused});

  ColumnModel column = Column("date");
  EXPECT_EQ(Format(column, Bytes(-1.25)), "1899-12-29 06:00:00");
  // Between -1 and 0 the day is 1899-12-30 and the time counts forward.
  EXPECT_EQ(Format(column, Bytes(-0.25)), "1899-12-30 06:00:00");
  std::string text, error;
  for (double outside : {double{NAN}, double{INFINITY}, 3e6, -7e5}) {
    EXPECT_FALSE(SelectValueCodec(DT_DATE).format(column, Bytes(outside).data(), 0, &text, &error))
        << outside;
  }
}

// Every double of the range, including ones just short of midnight and tiny
// times of 1899-12-30, reads back from its text bit for bit.
TEST(ValueCodecTest, AutomationDatesRoundTripEveryDouble) {
  ColumnModel column = Column("date");
  std::vector<double> values = {std::nextafter(39478.0, 0.0),
                                std::nextafter(-2.0, 0.0),
                                5e-324,
                                0.5 + 1e-16,
                                2958465.9999999995,
                                -657434.5};
  std::mt19937_64 random(11);
  std::uniform_real_distribution<double> days(-693593.0, 2958465.0);
  for (int i = 0; i < 1500; ++i) values.push_back(days(random));
  for (int i = 0; i < 200; ++i) values.push_back(std::ldexp(days(random) / 3e6, -(i % 60)));
  for (double value : values) {
    if (value > -1 && value < 0) continue;
    std::string text = Format(column, Bytes(value));
    Parsed back = Parse(column, text);
    ASSERT_EQ(back.result, ValueError::kNone) << text << ": " << back.error;
    double read;
    std::memcpy(&read, back.bytes.data(), 8);
    ASSERT_EQ(std::bit_cast<uint64_t>(read), std::bit_cast<uint64_t>(value))
        << std::hexfloat << value << " -> " << text << " -> " << read;
  }
}

TEST(ValueCodecTest, StrHoldsWindows1252AndWstrHoldsUtf16) {
  ColumnModel str = Column("str(5)");
  Parsed parsed = Parse(str, "\xE2\x82\xAC\xC3\xA9");  // Euro sign, e acute.
  ASSERT_EQ(parsed.result, ValueError::kNone) << parsed.error;
  EXPECT_EQ(parsed.bytes, (std::vector<uint8_t>{0x80, 0xE9, 0, 0, 0, 0}));
  EXPECT_EQ(Format(str, parsed.bytes), "\xE2\x82\xAC\xC3\xA9");
  EXPECT_EQ(Parse(str, "abcdef").result, ValueError::kTooWide);
  EXPECT_EQ(Parse(str, "\xE4\xB8\xAD").result, ValueError::kInvalid);  // Not in Windows-1252.
  // A full slot (no NUL inside the length) is read up to the length only.
  EXPECT_EQ(Format(str, {'a', 'b', 'c', 'd', 'e', 'f'}), "abcde");

  ColumnModel wstr = Column("wstr(3)");
  parsed = Parse(wstr, "a\xF0\x9F\x98\x80");  // 'a' and U+1F600, three code units.
  ASSERT_EQ(parsed.result, ValueError::kNone) << parsed.error;
  EXPECT_EQ(parsed.bytes, (std::vector<uint8_t>{'a', 0, 0x3D, 0xD8, 0x00, 0xDE, 0, 0}));
  EXPECT_EQ(Format(wstr, parsed.bytes), "a\xF0\x9F\x98\x80");
  EXPECT_EQ(Parse(wstr, "abcd").result, ValueError::kTooWide);
  EXPECT_EQ(Parse(wstr, "\xED\xA0\x80").result, ValueError::kInvalid);  // A surrogate.
  std::string text, error;
  std::vector<uint8_t> lone = {0x00, 0xD8, 0, 0, 0, 0, 0, 0};
  EXPECT_FALSE(SelectValueCodec(DT_WSTR).format(wstr, lone.data(), 0, &text, &error));
}

TEST(ValueCodecTest, BytesAreHexAndGuidsPrintTheirFieldsAsWindowsDoes) {
  ColumnModel bytes = Column("bytes(3)");
  Parsed parsed = Parse(bytes, "0x00fFa1");
  ASSERT_EQ(parsed.result, ValueError::kNone);
  EXPECT_EQ(Format(bytes, parsed.bytes, parsed.length), "00ffa1");
  EXPECT_EQ(Format(bytes, parsed.bytes, 1), "00");
  EXPECT_EQ(Parse(bytes, "abc").result, ValueError::kInvalid);

  ColumnModel guid = Column("guid");
  parsed = Parse(guid, "{00112233-4455-6677-8899-aabbccddeeff}");
  ASSERT_EQ(parsed.result, ValueError::kNone);
  EXPECT_EQ(parsed.bytes, (std::vector<uint8_t>{0x33, 0x22, 0x11, 0x00, 0x55, 0x44, 0x77, 0x66,
                                                0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF}));
  EXPECT_EQ(Format(guid, parsed.bytes), "{00112233-4455-6677-8899-AABBCCDDEEFF}");
  Check("guid", {"00112233-4455-6677-8899-aabbccddeeff", "{00112233-4455-6677-8899-AABBCCDDEEFF}",
                 "{00112233-4455-6677-8899-aabbccddeef}", kRefused});
}

}  // namespace
}  // namespace tolvarine
