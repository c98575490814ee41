// Whole sorts of every key type, checked against an order written here from
// each type's stated rules rather than taken from the comparators, so that a
// comparator, a key prefix encoder and the engine that trusts both cannot
// agree on a wrong order unnoticed.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <tuple>

#include "keys/column_functions.h"
#include "keys/value_functions.h"
#include "platform/decimal.h"
#include "tests/engine/engine_test_access.h"
#include "tests/engine/engine_test_support.h"
#include "tests/support/wine.h"

namespace enginetest {
namespace {

// Row: the key under test (status, length, a 48-byte slot), a second I4 key
// with four values, then the row's id (I4, never a key).
constexpr uint32_t kSlot = 48, kK2Status = 56, kK2 = 60, kIdStatus = 64, kId = 68, kWidth = 72;

struct Value {
  std::array<uint8_t, kSlot> bytes{};
  uint32_t length = 0;
};
// Negative, 0 or positive, like a comparator; the lengths only for DT_BYTES.
using Oracle = int (*)(const uint8_t* a, uint32_t aLength, const uint8_t* b, uint32_t bLength);

using keys::Load;
template <class T>
Value Of(const T& v) {
  Value value;
  std::memcpy(value.bytes.data(), &v, sizeof(T));
  return value;
}
template <class T>
int Order(const T& a, const T& b) {
  return a < b ? -1 : b < a ? 1 : 0;
}

template <class T>
int IntegerOrder(const uint8_t* a, uint32_t, const uint8_t* b, uint32_t) {
  return Order(Load<T>(a), Load<T>(b));
}
// 64-bit values as their high word (signed or not as H is), then the low
// word unsigned.
template <class H>
int HalvesOrder(const uint8_t* a, uint32_t, const uint8_t* b, uint32_t) {
  return Order(std::tuple(Load<H>(a + 4), Load<uint32_t>(a)),
               std::tuple(Load<H>(b + 4), Load<uint32_t>(b)));
}
int BoolOrder(const uint8_t* a, uint32_t, const uint8_t* b, uint32_t) {
  return Order(Load<uint16_t>(a) != 0, Load<uint16_t>(b) != 0);
}
// Every NaN alike and first; then numbers, -0 being 0.
template <class T>
int FloatOrder(const uint8_t* a, uint32_t, const uint8_t* b, uint32_t) {
  const T x = Load<T>(a), y = Load<T>(b);
  if (std::isnan(x) || std::isnan(y)) return int{!std::isnan(x)} - int{!std::isnan(y)};
  return Order(x, y);
}
// The day toward zero, then the time of day, the fraction's magnitude.
int DateOrder(const uint8_t* a, uint32_t, const uint8_t* b, uint32_t) {
  const double x = Load<double>(a), y = Load<double>(b);
  if (std::isnan(x) || std::isnan(y)) return FloatOrder<double>(a, 0, b, 0);
  double xDay, yDay;
  const double xTime = std::fabs(std::modf(x, &xDay)), yTime = std::fabs(std::modf(y, &yDay));
  return Order(std::pair(xDay, xTime), std::pair(yDay, yTime));
}
int GuidOrder(const uint8_t* a, uint32_t, const uint8_t* b, uint32_t) {
  return std::memcmp(a, b, 16);
}
// A well-formed DECIMAL's magnitude times 10^(28 - scale), exact in 7 words.
std::array<uint32_t, 7> ScaledMagnitude(const DECIMAL& d) {
  std::array<uint32_t, 7> words{static_cast<uint32_t>(d.Lo64), static_cast<uint32_t>(d.Lo64 >> 32),
                                d.Hi32};
  for (int i = d.scale; i < 28; ++i) {
    uint64_t carry = 0;
    for (uint32_t& w : words)
      carry += uint64_t{w} * 10, w = static_cast<uint32_t>(carry), carry >>= 32;
  }
  std::reverse(words.begin(), words.end());  // Most significant first.
  return words;
}
int DecimalOrder(const uint8_t* a, uint32_t, const uint8_t* b, uint32_t) {
  const auto x = Load<DECIMAL>(a), y = Load<DECIMAL>(b);
  auto sign = [](const DECIMAL& d) { return d.Hi32 == 0 && d.Lo64 == 0 ? 0 : d.sign ? -1 : 1; };
  if (sign(x) != sign(y)) return Order(sign(x), sign(y));
  return sign(x) * Order(ScaledMagnitude(x), ScaledMagnitude(y));
}
// Sign byte (0 negative first), larger scale first, then the magnitude,
// larger first among negatives; precision plays no part.
int NumericOrder(const uint8_t* a, uint32_t, const uint8_t* b, uint32_t) {
  const auto x = Load<DB_NUMERIC>(a), y = Load<DB_NUMERIC>(b);
  if (x.sign != y.sign || x.scale != y.scale)
    return Order(std::pair(x.sign, -x.scale), std::pair(y.sign, -y.scale));
  unsigned __int128 xm = 0, ym = 0;
  for (int i = 15; i >= 0; --i) xm = xm << 8 | x.val[i], ym = ym << 8 | y.val[i];
  return x.sign ? Order(xm, ym) : Order(ym, xm);
}
// Field by field, each compared as its own type.
template <class T, auto... kFields>
int FieldOrder(const uint8_t* a, uint32_t, const uint8_t* b, uint32_t) {
  const auto x = Load<T>(a), y = Load<T>(b);
  return Order(std::tuple(x.*kFields...), std::tuple(y.*kFields...));
}
// The common prefix as unsigned bytes, then the shorter first.
int BytesOrder(const uint8_t* a, uint32_t aLength, const uint8_t* b, uint32_t bLength) {
  const int order = std::memcmp(a, b, std::min(aLength, bLength));
  return order != 0 ? order : Order(aLength, bLength);
}
// Code units up to the NUL, unsigned; with kFold ASCII letters as lower case.
template <class Unit, bool kFold>
int StringOrder(const uint8_t* a, uint32_t, const uint8_t* b, uint32_t) {
  auto fold = [](Unit u) { return kFold && u >= 'A' && u <= 'Z' ? Unit(u + 32) : u; };
  for (;; a += sizeof(Unit), b += sizeof(Unit)) {
    const Unit x = fold(Load<Unit>(a)), y = fold(Load<Unit>(b));
    if (x != y || x == 0) return Order(x, y);
  }
}

// Value generators: a type's edge values, then random ones.
using Random = std::mt19937_64;
template <class T>
std::vector<Value> IntegerValues(Random& r, int count) {
  using L = std::numeric_limits<T>;
  std::vector<Value> v;
  for (T x : {L::min(), T(L::min() + 1), L::max(), T(L::max() - 1), T(0), T(1), T(-1)})
    v.push_back(Of(x));
  for (int i = 0; i < count; ++i) v.push_back(Of(T(i % 2 ? r() : r() % 9 - 4)));
  return v;
}
template <class T, class Bits>
std::vector<Value> FloatValues(Random& r, int count) {
  using L = std::numeric_limits<T>;
  std::vector<Value> v;
  for (T x : {L::quiet_NaN(), -L::quiet_NaN(), L::infinity(), -L::infinity(), T(0), -T(0), L::max(),
              L::lowest(), L::min(), -L::denorm_min(), L::denorm_min(), T(1), T(-1)}) {
    v.push_back(Of(x));
  }
  const Bits exponent = Load<Bits>(Of(L::infinity()).bytes.data());
  for (Bits payload : {Bits{1}, Bits{3} << 3, Bits(Bits{1} << (L::digits - 2))}) {
    v.push_back(Of(Bits(exponent | payload)));  // Signalling and quiet NaNs of both signs.
    v.push_back(Of(Bits(exponent | payload | Bits{1} << (sizeof(Bits) * 8 - 1))));
  }
  for (int i = 0; i < count; ++i)
    v.push_back(i % 3 ? Of(T(int(r() % 801) - 400) / 8) : Of(Bits(r())));
  return v;
}
std::vector<Value> DateValues(Random& r, int count) {
  std::vector<Value> v = FloatValues<double, uint64_t>(r, 0);
  for (double x : {0.5, -0.5, -1.25, -0.75, 0.75, -1.75, 1.75, -1.0, 1e6 + 0.25, -1e6 - 0.25})
    v.push_back(Of(x));
  for (int i = 0; i < count; ++i)
    v.push_back(Of(i % 2 ? double(int(r() % 81) - 40) / 8 : (double(r() % 2000001) - 1e6) / 64));
  return v;
}
std::vector<Value> BoolValues(Random& r, int) {
  std::vector<Value> v;
  for (uint16_t x : {0, 1, 0xFFFF, 0x8000, 0x100, 0x7FFF}) v.push_back(Of(x));
  for (int i = 0; i < 8; ++i) v.push_back(Of(uint16_t(r())));
  return v;
}
std::vector<Value> GuidValues(Random& r, int count) {
  const uint8_t pick[] = {0, 1, 0x7F, 0x80, 0xFF};
  std::vector<Value> v;
  for (int i = 0; i < count; ++i) {
    Value g;
    for (int b = 0; b < 16; ++b)
      g.bytes[b] = b < 8 && i % 2 ? 0xAB : i % 3 ? pick[r() % 5] : uint8_t(r());
    v.push_back(g);
  }
  return v;
}
DECIMAL Decimal(uint8_t scale, bool negative, uint32_t hi, uint64_t lo) {
  DECIMAL d{};  // By name: Windows' DECIMAL has unions where the fields are.
  d.scale = scale, d.sign = negative ? DECIMAL_NEG : 0, d.Hi32 = hi, d.Lo64 = lo;
  return d;
}
std::vector<Value> DecimalValues(Random& r, int count) {
  std::vector<Value> v;
  for (bool negative : {false, true}) {
    for (uint8_t scale : {0, 1, 2, 27, 28}) {
      for (uint64_t lo : {0ull, 1ull, 10ull, 100ull, ~0ull})
        v.push_back(Of(Decimal(scale, negative, 0, lo)));
      v.push_back(Of(Decimal(scale, negative, ~0u, ~0ull)));
      v.push_back(Of(Decimal(scale, negative, ~0u, ~0ull - 1)));
    }
  }
  for (int i = 0; i < count; ++i) {
    const uint8_t scale = r() % (i % 2 ? 29 : 6);
    uint64_t lo = r() % 50;
    for (int s = 0; s < scale && i % 2 == 0; ++s) lo *= 10;  // The same values at several scales.
    v.push_back(Of(Decimal(scale, r() % 2, i % 2 ? uint32_t(r()) : 0, i % 2 ? r() : lo)));
  }
  if (testsupport::RunningOnWine()) {
    // Wine's VarDecCmp is exact only where both values fit 96 bits at the
    // larger scale (tests/platform/win32/decimal_order_test.cc): under Wine
    // the values are those below 7.9, which fit scale 28.
    std::erase_if(v, [](const Value& value) {
      const auto words = ScaledMagnitude(Load<DECIMAL>(value.bytes.data()));
      return words[0] != 0 || words[1] != 0 || words[2] != 0 || words[3] != 0;  // Past 96 bits.
    });
  }
  return v;
}
std::vector<Value> NumericValues(Random& r, int count) {
  std::vector<Value> v;
  for (int i = 0; i < count; ++i) {
    DB_NUMERIC n{uint8_t(1 + r() % 38), uint8_t(i % 4 == 0 ? 38 : r() % 3), uint8_t(r() % 2), {}};
    // All ones, only the top byte, only the bottom byte, or small bytes.
    const int shape = r() % 4;
    for (int b = 0; b < 16; ++b) n.val[b] = shape == 0 ? 0xFF : shape == 3 ? r() % 3 : 0;
    if (shape == 1 || shape == 2) n.val[shape == 1 ? 15 : 0] = uint8_t(1 + r() % 2);
    v.push_back(Of(n));
  }
  return v;
}
std::vector<Value> DbDateValues(Random& r, int count) {
  const int16_t years[] = {INT16_MIN, -1, 0, 1999, 2000, INT16_MAX};
  const uint16_t small[] = {0, 1, 2, 12, 31, 0xFFFF};
  std::vector<Value> v;
  for (int i = 0; i < count; ++i) {
    DBTIMESTAMP t{years[r() % 6], 0, 0, 0, 0, 0, uint32_t(i % 2 ? r() : r() % 3 * 999999999u)};
    for (uint16_t* f : {&t.month, &t.day, &t.hour, &t.minute, &t.second}) *f = small[r() % 6];
    v.push_back(Of(t));  // Read as DBDATE too: its fields lead the same way.
  }
  return v;
}
std::vector<Value> DbTimeValues(Random& r, int count) {
  std::vector<Value> v = DbDateValues(r, count);
  for (Value& t : v)
    std::memmove(t.bytes.data(), t.bytes.data() + 2, 6);  // Month, day, hour: any uint16.
  return v;
}
// Slot bytes after the value hold garbage, which must not change the order.
template <bool kTerminated, uint32_t kUnit, uint32_t kMaxLength, uint16_t... kAlphabet>
std::vector<Value> UnitValues(Random& r, int count) {
  const uint16_t alphabet[] = {kAlphabet...};
  std::vector<Value> v;
  for (int i = 0; i < count; ++i) {
    Value s;
    for (uint8_t& b : s.bytes) b = uint8_t(r() | 1);
    const bool sharesPrefix = i % 3 == 0;
    s.length = sharesPrefix ? 6 + r() % (kMaxLength - 5) : r() % (kMaxLength + 1);
    for (uint32_t c = 0; c < s.length + kTerminated; ++c) {
      const uint16_t u = c == s.length           ? 0
                         : sharesPrefix && c < 8 ? alphabet[c % 2]
                                                 : alphabet[r() % sizeof...(kAlphabet)];
      std::memcpy(&s.bytes[c * kUnit], &u, kUnit);
    }
    v.push_back(s);
  }
  return v;
}

struct KeyType {
  const char* name;
  int32_t type;
  uint32_t flags, size;  // Size: of the value slot.
  Oracle order;
  std::vector<Value> (*values)(Random&, int count);
};

const KeyType kKeyTypes[] = {
    {"I1", DT_I1, 0, 1, IntegerOrder<int8_t>, IntegerValues<int8_t>},
    {"UI1", DT_UI1, 0, 1, IntegerOrder<uint8_t>, IntegerValues<uint8_t>},
    {"I2", DT_I2, 0, 2, IntegerOrder<int16_t>, IntegerValues<int16_t>},
    {"UI2", DT_UI2, 0, 2, IntegerOrder<uint16_t>, IntegerValues<uint16_t>},
    {"I4", DT_I4, 0, 4, IntegerOrder<int32_t>, IntegerValues<int32_t>},
    {"UI4", DT_UI4, 0, 4, IntegerOrder<uint32_t>, IntegerValues<uint32_t>},
    {"I8", DT_I8, 0, 8, HalvesOrder<int32_t>, IntegerValues<int64_t>},
    {"UI8", DT_UI8, 0, 8, HalvesOrder<uint32_t>, IntegerValues<uint64_t>},
    {"CY", DT_CY, 0, 8, HalvesOrder<int32_t>, IntegerValues<int64_t>},
    {"FILETIME", DT_FILETIME, 0, 8, HalvesOrder<uint32_t>, IntegerValues<uint64_t>},
    {"BOOL", DT_BOOL, 0, 2, BoolOrder, BoolValues},
    {"R4", DT_R4, 0, 4, FloatOrder<float>, FloatValues<float, uint32_t>},
    {"R8", DT_R8, 0, 8, FloatOrder<double>, FloatValues<double, uint64_t>},
    {"DATE", DT_DATE, 0, 8, DateOrder, DateValues},
    {"GUID", DT_GUID, 0, 16, GuidOrder, GuidValues},
    {"DECIMAL", DT_DECIMAL, 0, 16, DecimalOrder, DecimalValues},
    {"NUMERIC", DT_NUMERIC, 0, 19, NumericOrder, NumericValues},
    {"DBDATE", DT_DBDATE, 0, 6, FieldOrder<DBDATE, &DBDATE::year, &DBDATE::month, &DBDATE::day>,
     DbDateValues},
    {"DBTIME", DT_DBTIME, 0, 6, FieldOrder<DBTIME, &DBTIME::hour, &DBTIME::minute, &DBTIME::second>,
     DbTimeValues},
    {"DBTIMESTAMP", DT_DBTIMESTAMP, 0, 16,
     FieldOrder<DBTIMESTAMP, &DBTIMESTAMP::year, &DBTIMESTAMP::month, &DBTIMESTAMP::day,
                &DBTIMESTAMP::hour, &DBTIMESTAMP::minute, &DBTIMESTAMP::second,
                &DBTIMESTAMP::fraction>,
     DbDateValues},
    {"BYTES", DT_BYTES, 0, 20, BytesOrder,
     UnitValues<false, 1, 20, 0, 0xFF, 1, 0x7F, 0x80, 0xFE, 'a'>},
    {"STR", DT_STR, CMPFLAG_ORDINAL, 24, StringOrder<uint8_t, false>,
     UnitValues<true, 1, 23, 'a', 'A', 'b', '_', 'Z', '[', 0x80, 0xFF, 1>},
    {"STR_IgnoreCase", DT_STR, CMPFLAG_ORDINAL_IGNORECASE, 24, StringOrder<uint8_t, true>,
     UnitValues<true, 1, 23, 'a', 'A', 'b', 'B', '_', '`', 'z', 'Z', 0xC0, 0xE0>},
    {"WSTR", DT_WSTR, CMPFLAG_ORDINAL, 48, StringOrder<char16_t, false>,
     UnitValues<true, 2, 23, 'a', 'A', 0x100, 0xD800, 0xFFFF, 0x7F, 0x80, 1>},
    {"WSTR_IgnoreCase", DT_WSTR, CMPFLAG_ORDINAL_IGNORECASE, 48, StringOrder<char16_t, true>,
     UnitValues<true, 2, 23, 'a', 'A', 'q', 'Q', '_', 0xC0, 0xE0, 0x161>},
};

void PrintTo(const KeyType& type, std::ostream* os) {
  *os << type.name;
}

SortColumn Column(int32_t type, uint32_t flags, uint32_t data, uint32_t length, uint32_t status,
                  uint32_t size) {
  SortColumn c{data, length, status, {}, flags, 0, nullptr, nullptr, size};
  c.OutputColumn = {uint32_t(type), size, data, status, length, 0, 0, 0};
  EXPECT_EQ(S_OK, SelectColumnFunctions(type, flags, &c.Compare, &c.Copy));
  return c;
}

class OracleSortTest : public ::testing::TestWithParam<KeyType> {};

TEST_P(OracleSortTest, MatchesTheTypesOrderAscendingDescendingDedupedAndSpilled) {
  const KeyType& kt = GetParam();
  const bool hasLength = kt.type == DT_BYTES || kt.type == DT_STR || kt.type == DT_WSTR;
  SortColumn key = Column(kt.type, kt.flags, 8, hasLength ? 4 : kNoLengthField, 0, kt.size);
  SortColumn second = Column(DT_I4, 0, kK2, kNoLengthField, kK2Status, 4);

  Random random(std::hash<std::string>{}(kt.name));
  const std::vector<Value> pool = kt.values(random, 250);
  constexpr uint32_t kRows = 2000;
  std::vector<uint8_t> input(size_t{kRows} * kWidth);
  for (uint32_t i = 0; i < kRows; ++i) {
    uint8_t* row = &input[size_t{i} * kWidth];
    const Value& v = pool[random() % pool.size()];
    const uint32_t status = random() % 10 == 0 ? DBSTATUS_S_ISNULL : 0;
    std::memcpy(row, &status, 4);
    std::memcpy(row + 4, &v.length, 4);
    std::memcpy(row + 8, v.bytes.data(), kSlot);
    const uint32_t k2Status = random() % 20 == 0 ? DBSTATUS_S_ISNULL : 0, k2 = random() % 4;
    std::memcpy(row + kK2Status, &k2Status, 4);
    std::memcpy(row + kK2, &k2, 4);
    std::memcpy(row + kId, &i, 4);
  }
  auto value = [&](uint32_t id) { return &input[size_t{id} * kWidth]; };
  // -1, 0 or 1 as rows a and b should be ordered with the keys in these
  // directions.
  auto oracle = [&](const uint8_t* a, const uint8_t* b, bool descending, bool secondDescending) {
    for (int k = 0; k < 2; ++k) {
      const uint32_t statusOffset = k ? kK2Status : 0;
      const bool aNull = Load<uint32_t>(a + statusOffset) == DBSTATUS_S_ISNULL;
      const bool bNull = Load<uint32_t>(b + statusOffset) == DBSTATUS_S_ISNULL;
      int order = aNull || bNull ? int{bNull} - int{aNull}
                  : k            ? Order(Load<int32_t>(a + kK2), Load<int32_t>(b + kK2))
                                 : kt.order(a + 8, std::min(Load<uint32_t>(a + 4), kt.size), b + 8,
                                            std::min(Load<uint32_t>(b + 4), kt.size));
      order = order < 0 ? -1 : order > 0;
      if (order != 0) return (k ? secondDescending : descending) ? -order : order;
    }
    return 0;
  };
  // Equal keys are equal in every direction.
  std::vector<const uint8_t*> sorted;
  for (uint32_t i = 0; i < kRows; ++i) sorted.push_back(value(i));
  std::sort(sorted.begin(), sorted.end(),
            [&](auto a, auto b) { return oracle(a, b, false, false) < 0; });
  const size_t distinct =
      std::unique(sorted.begin(), sorted.end(),
                  [&](auto a, auto b) { return oracle(a, b, false, false) == 0; }) -
      sorted.begin();

  for (int run = 0; run < 8; ++run) {
    const bool descending = run & 1, dedup = run & 2, spill = run & 4;
    SCOPED_TRACE(testing::Message()
                 << (descending ? "descending" : "ascending") << (dedup ? " deduplicated" : "")
                 << (spill ? " spilled" : " in memory"));
    // The second key runs against the first in some descending runs and
    // with it in others.
    const bool secondDescending = descending && spill;
    key.SortKeyPosition = descending ? -1 : 1;
    second.SortKeyPosition = secondDescending ? -2 : 2;
    TempDir dir;
    SortEngine engine;
    engine.EliminateDuplicates = dedup;
    engine.ThreadCount = 2;
    engine.RamBudget = spill ? 64u << 10 : 64u << 20;
    engine.ScratchFileBytes = spill ? 32u << 10 : 200u << 20;
    if (spill) {
      ASSERT_EQ(S_OK, ParseScratchAreas(&engine.ScratchAreaList, dir.Area().c_str()));
    }
    engine.SortKeys = {second, key};
    OrderSortKeys(&engine.SortKeys);
    ASSERT_EQ(S_OK, engine.Create());
    CollectingSink sink(kWidth);
    engine.Output = &sink;
    for (uint32_t at = 0; at < kRows; at += 300) {
      ASSERT_EQ(S_OK, engine.AddRows(std::min(300u, kRows - at), kWidth, value(at), false));
    }
    ASSERT_EQ(S_OK, engine.AddRows(0, kWidth, nullptr, true));
    EXPECT_TRUE(!spill || SortEngineTestAccess::BytesSpilled(&engine) > 0) << "nothing spilled";
    engine.Destroy();
    EXPECT_TRUE(dir.IsEmpty()) << "scratch files left behind";

    std::vector<bool> seen(kRows);
    const size_t outputRows = sink.data.size() / kWidth;
    for (size_t i = 0; i < outputRows; ++i) {
      const uint8_t* out = &sink.data[i * kWidth];
      const uint32_t rowId = Load<uint32_t>(out + kId);
      ASSERT_LT(rowId, kRows);
      ASSERT_FALSE(seen[rowId]) << "row " << rowId << " twice";
      seen[rowId] = true;
      ASSERT_EQ(0, std::memcmp(out, value(rowId), kWidth)) << "row " << rowId << " changed";
      if (i == 0) continue;
      const int order = oracle(&sink.data[(i - 1) * kWidth], out, descending, secondDescending);
      ASSERT_TRUE(dedup ? order < 0 : order <= 0) << "output rows " << i - 1 << " and " << i;
    }
    // In strict order there is at most one row per key; as many rows as
    // distinct keys means every key is there.
    EXPECT_EQ(dedup ? distinct : kRows, outputRows);
  }
}

INSTANTIATE_TEST_SUITE_P(KeyTypes, OracleSortTest, ::testing::ValuesIn(kKeyTypes),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace enginetest
