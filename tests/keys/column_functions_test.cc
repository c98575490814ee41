#include "keys/column_functions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <vector>

#include "interfaces/pipeline_types.h"
#include "platform/decimal.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Random = std::mt19937_64;

int Sign(long double value) {
  return (value > 0) - (value < 0);
}

template <class T>
T Read(const Bytes& bytes, size_t offset = 0) {
  T value;
  std::memcpy(&value, bytes.data() + offset, sizeof(T));
  return value;
}

template <class T>
Bytes Write(const T& value) {
  Bytes bytes(sizeof(T));
  std::memcpy(bytes.data(), &value, sizeof(T));
  return bytes;
}

// A type, a generator of its values and their order, worked out apart from the comparators.
struct TypeCase {
  int32_t type;
  std::function<Bytes(Random&)> generate;
  std::function<int(const Bytes&, const Bytes&)> expected;
};

// Little-endian integer fields (width in bytes, negative if signed) ordered field by field.
TypeCase FieldsCase(int32_t type, std::vector<int> fields) {
  auto decode = [fields](const Bytes& bytes) {
    std::vector<__int128> values;
    size_t offset = 0;
    for (int field : fields) {
      const size_t width = std::abs(field);
      __int128 value = 0;
      for (size_t i = width; i-- > 0;) value = value << 8 | bytes[offset + i];
      if (field < 0 && (bytes[offset + width - 1] & 0x80)) value -= __int128{1} << (8 * width);
      values.push_back(value);
      offset += width;
    }
    return values;
  };
  return {type,
          [fields](Random& random) {
            Bytes bytes;
            for (int field : fields) {
              for (int i = std::abs(field); i > 0; --i)
                bytes.push_back("\x00\x01\x7F\x80\xFF"[random() % 5]);
            }
            return bytes;
          },
          [decode](const Bytes& l, const Bytes& r) {
            return decode(l) < decode(r) ? -1 : decode(l) > decode(r) ? 1 : 0;
          }};
}

// Every NaN equals every other and sorts before every number; -0 equals +0.
template <class T>
int FloatOrder(T a, T b) {
  if (std::isnan(a) || std::isnan(b)) return int{std::isnan(b)} - int{std::isnan(a)};
  return Sign((long double)a - (long double)b);
}

template <class T>
TypeCase FloatCase(int32_t type) {
  using Limits = std::numeric_limits<T>;
  const T nan = Limits::quiet_NaN(), inf = Limits::infinity();
  const std::vector<T> choices = {
      nan,  -nan,    Limits::signaling_NaN(), T(std::nan("7")), T(0), -T(0), inf, -inf,
      T(1), T(-1.5), Limits::denorm_min(),    -Limits::max()};
  return {type, [choices](Random& random) { return Write(choices[random() % choices.size()]); },
          [](const Bytes& l, const Bytes& r) { return FloatOrder(Read<T>(l), Read<T>(r)); }};
}

// Below zero the fraction counts forward from midnight: -1.25 is before -1.75, -0.5 equals 0.5.
TypeCase DateCase() {
  auto instant = [](double v) -> long double {
    if (std::isnan(v) || std::isinf(v)) return v;
    const long double day = std::trunc(v);
    return day + std::fabs(v - day);
  };
  const double inf = std::numeric_limits<double>::infinity();
  const std::vector<double> choices = {std::nan(""), -std::nan("3"), 0.0,        -0.0,  0.5,
                                       -0.5,         -1.0,           -1.25,      -1.75, -2.5,
                                       1.25,         -1e6 - 0.1,     -1e6 - 0.9, inf,   -inf};
  return {DT_DATE, [choices](Random& random) { return Write(choices[random() % choices.size()]); },
          [instant](const Bytes& l, const Bytes& r) {
            const double a = Read<double>(l), b = Read<double>(r);
            if (std::isnan(a) || std::isnan(b)) return FloatOrder(a, b);
            return Sign(instant(a) - instant(b));
          }};
}

// False is 0, true any other pattern.
TypeCase BoolCase() {
  return {DT_BOOL,
          [](Random& random) {
            return Write<uint16_t>(std::vector<uint16_t>{0, 0xFFFF, 1, 0x8000}[random() % 4]);
          },
          [](const Bytes& l, const Bytes& r) {
            return int{Read<uint16_t>(l) != 0} - int{Read<uint16_t>(r) != 0};
          }};
}

// Well-formed values (small enough to scale exactly) first, then malformed ones by their bytes.
TypeCase DecimalCase() {
  auto valid = [](const DECIMAL& d) { return d.scale <= 28 && (d.sign == 0 || d.sign == 0x80); };
  auto value = [](const DECIMAL& d, int scale) {
    __int128 v = d.Lo64;
    for (int i = d.scale; i < scale; ++i) v *= 10;
    return d.sign ? -v : v;
  };
  return {DT_DECIMAL,
          [](Random& random) {
            DECIMAL d{};
            d.wReserved = random() % 3;
            // 28 is the largest valid scale; 2^33 * 10^28 still fits 127 bits.
            const int kind = random() % 5;
            d.scale = kind == 0 ? 29 + random() % 200 : kind == 1 ? 28 : random() % 7;
            d.sign = random() % 5 == 0 ? 1 : (random() % 2) * 0x80;
            d.Lo64 = random() % 2 ? random() % 1000 : random() >> 31;
            return Write(d);
          },
          [valid, value](const Bytes& l, const Bytes& r) {
            const auto a = Read<DECIMAL>(l), b = Read<DECIMAL>(r);
            if (valid(a) != valid(b)) return valid(a) ? -1 : 1;
            if (!valid(a)) return Sign(std::memcmp(l.data(), r.data(), 16));
            return Sign(value(a, 28) - value(b, 28));
          }};
}

// Sign byte, then the larger scale, then the magnitude (inverted if negative); not precision.
TypeCase NumericCase() {
  auto magnitude = [](const Bytes& n) {
    unsigned __int128 m = 0;
    for (int i = 18; i >= 3; --i) m = m << 8 | n[i];
    return m;
  };
  return {DT_NUMERIC,
          [](Random& random) {
            Bytes n(19, 0);
            n[0] = random() % 39;
            n[1] = random() % 4 == 0 ? 2 : 0;
            n[2] = random() % 2;
            n[3] = random() % 3;
            n[18] = random() % 4 == 0 ? 0xFF : 0;
            return n;
          },
          [magnitude](const Bytes& l, const Bytes& r) {
            if (l[2] != r[2]) return l[2] < r[2] ? -1 : 1;
            if (l[1] != r[1]) return l[1] > r[1] ? -1 : 1;
            const int order = magnitude(l) < magnitude(r) ? -1 : magnitude(l) > magnitude(r);
            return l[2] ? order : -order;
          }};
}

TEST(ColumnComparators, AgreeWithTheOrderOfTheirTypeAndAreAntisymmetric) {
  std::vector<TypeCase> cases = {BoolCase(), FloatCase<float>(DT_R4), FloatCase<double>(DT_R8),
                                 DateCase(), DecimalCase(),           NumericCase()};
  const int32_t integers[][2] = {{DT_I1, -1}, {DT_UI1, 1},     {DT_I2, -2}, {DT_UI2, 2},
                                 {DT_I4, -4}, {DT_UI4, 4},     {DT_I8, -8}, {DT_CY, -8},
                                 {DT_UI8, 8}, {DT_FILETIME, 8}};
  for (const auto& [type, width] : integers) cases.push_back(FieldsCase(type, {width}));
  cases.push_back(FieldsCase(DT_GUID, std::vector<int>(16, 1)));
  cases.push_back(FieldsCase(DT_DBDATE, {-2, 2, 2}));
  cases.push_back(FieldsCase(DT_DBTIME, {2, 2, 2}));
  cases.push_back(FieldsCase(DT_DBTIMESTAMP, {-2, 2, 2, 2, 2, 2, 4}));
  for (const TypeCase& test : cases) {
    SCOPED_TRACE(test.type);
    ColumnComparator compare = nullptr;
    ColumnCopier copy = nullptr;
    ASSERT_EQ(SelectColumnFunctions(test.type, 0, &compare, &copy), S_OK);
    Random random(test.type);
    const size_t offset = 1;  // Values may lie at any alignment.
    std::vector<Bytes> values, rows;
    for (int i = 0; i < 100; ++i) {
      values.push_back(test.generate(random));
      rows.emplace_back(offset, 0xCC);
      rows.back().insert(rows.back().end(), values.back().begin(), values.back().end());
    }
    for (size_t i = 0; i < values.size(); ++i) {
      for (size_t j = 0; j < values.size(); ++j) {
        const int order = Sign(compare(&rows[i][offset], &rows[j][offset], 0));
        ASSERT_EQ(order, test.expected(values[i], values[j])) << i << " vs " << j;
        ASSERT_EQ(order, -Sign(compare(&rows[j][offset], &rows[i][offset], 0)));
      }
    }
    // The copier moves the value and nothing more.
    Bytes copied(values[0].size() + 2, 0xCC);
    copy(&copied[1], values[0].data());
    EXPECT_EQ(Bytes(copied.begin() + 1, copied.end() - 1), values[0]);
    EXPECT_EQ(copied.front() & copied.back(), 0xCC);
  }
}

TEST(ColumnComparators, StringModesFollowTheWholeFlagsValue) {
  auto order = [](int32_t type, uint32_t flags, const void* l, const void* r) {
    ColumnComparator compare = nullptr;
    ColumnCopier copy = nullptr;
    EXPECT_EQ(SelectColumnFunctions(type, flags, &compare, &copy), S_OK);
    return Sign(compare(l, r, flags));
  };
  EXPECT_EQ(order(DT_STR, 16, "ab", "abc"), -1);
  EXPECT_EQ(order(DT_STR, 16, "\xFF", "a"), 1) << "unsigned code units";
  EXPECT_EQ(order(DT_WSTR, 16, u"ab", u"aB"), 1);
  EXPECT_EQ(order(DT_WSTR, 32, u"ABC", u"abd"), -1);
  // 17 and 48 are not the ordinal modes: CompareString ignores case for them.
  EXPECT_EQ(order(DT_STR, 17, "ABC", "abc"), 0);
  EXPECT_EQ(order(DT_WSTR, 48, u"ABC", u"abc"), 0);
  EXPECT_EQ(order(DT_STR, 0, "b", "abc"), 1);
  // CompareString fails on undefined flag bits: the values count as equal.
  EXPECT_EQ(order(DT_WSTR, 0x40, u"a", u"b"), 0);
}

TEST(SelectColumnFunctions, RefusesUnsupportedTypesAndLeavesThePairUnset) {
  for (int32_t type : {0, 8, 132, 301, -1}) {
    ColumnComparator compare = reinterpret_cast<ColumnComparator>(0x1);
    ColumnCopier copy = nullptr;
    EXPECT_EQ(SelectColumnFunctions(type, 0, &compare, &copy), E_NOTIMPL) << type;
    EXPECT_TRUE(compare == reinterpret_cast<ColumnComparator>(0x1) && !copy) << type;
  }
}

}  // namespace
