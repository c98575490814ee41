// Whole sorts of key types whose prefixes differ in kind (signed and unsigned
// integers of each width, split 64-bit words, floats with NaNs, byte and
// string values with garbage after them), checked against an order written
// here rather than taken from the comparators: the engine must use prefixes
// and comparators alike in memory, spilled, descending and deduplicated. The
// keys tests hold every type's comparator and prefix to its order.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "keys/column_functions.h"
#include "keys/value_functions.h"
#include "tests/engine/engine_test_access.h"
#include "tests/engine/engine_test_support.h"

namespace enginetest {
namespace {

// Row: the key under test (status, length, a 48-byte slot), a second I4 key
// with four values, then the row's id (I4, never a key).
constexpr uint32_t kSlot = 48, kK2Status = 56, kK2 = 60, kId = 68, kWidth = 72;

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
// Every NaN alike and first; then numbers, -0 being 0.
template <class T>
int FloatOrder(const uint8_t* a, uint32_t, const uint8_t* b, uint32_t) {
  const T x = Load<T>(a), y = Load<T>(b);
  if (std::isnan(x) || std::isnan(y)) return int{!std::isnan(x)} - int{!std::isnan(y)};
  return Order(x, y);
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
    {"UI2", DT_UI2, 0, 2, IntegerOrder<uint16_t>, IntegerValues<uint16_t>},
    {"I4", DT_I4, 0, 4, IntegerOrder<int32_t>, IntegerValues<int32_t>},
    {"UI4", DT_UI4, 0, 4, IntegerOrder<uint32_t>, IntegerValues<uint32_t>},
    {"I8", DT_I8, 0, 8, IntegerOrder<int64_t>, IntegerValues<int64_t>},
    {"UI8", DT_UI8, 0, 8, IntegerOrder<uint64_t>, IntegerValues<uint64_t>},
    {"R4", DT_R4, 0, 4, FloatOrder<float>, FloatValues<float, uint32_t>},
    {"R8", DT_R8, 0, 8, FloatOrder<double>, FloatValues<double, uint64_t>},
    {"BYTES", DT_BYTES, 0, 20, BytesOrder,
     UnitValues<false, 1, 20, 0, 0xFF, 1, 0x7F, 0x80, 0xFE, 'a'>},
    {"STR_IgnoreCase", DT_STR, CMPFLAG_ORDINAL_IGNORECASE, 24, StringOrder<uint8_t, true>,
     UnitValues<true, 1, 23, 'a', 'A', 'b', 'B', '_', '`', 'z', 'Z', 0xC0, 0xE0>},
    {"WSTR", DT_WSTR, CMPFLAG_ORDINAL, 48, StringOrder<char16_t, false>,
     UnitValues<true, 2, 23, 'a', 'A', 0x100, 0xD800, 0xFFFF, 0x7F, 0x80, 1>},
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
  auto put = [](uint8_t* at, uint32_t v) { std::memcpy(at, &v, 4); };
  for (uint32_t i = 0; i < kRows; ++i) {
    uint8_t* row = &input[size_t{i} * kWidth];
    const Value& v = pool[random() % pool.size()];
    put(row, random() % 10 == 0 ? DBSTATUS_S_ISNULL : 0);
    put(row + 4, v.length);
    std::memcpy(row + 8, v.bytes.data(), kSlot);
    put(row + kK2Status, random() % 20 == 0 ? DBSTATUS_S_ISNULL : 0);
    put(row + kK2, random() % 4);
    put(row + kId, i);
  }
  // -1, 0 or 1 as rows a and b should be ordered with the keys in these
  // directions; NULL first.
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
  for (int run = 0; run < 8; ++run) {
    const bool descending = run & 1, dedup = run & 2, spill = run & 4;
    SCOPED_TRACE(testing::Message() << "descending " << descending << ", deduplicated " << dedup
                                    << ", spilled " << spill);
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
      ASSERT_EQ(S_OK, ParseScratchAreas(&engine.ScratchAreaList, dir.u16().c_str()));
    }
    engine.SortKeys = {second, key};
    OrderSortKeys(&engine.SortKeys);
    ASSERT_EQ(S_OK, engine.Create());
    CollectingSink sink(kWidth);
    engine.Output = &sink;
    for (uint32_t at = 0; at < kRows; at += 300) {
      ASSERT_EQ(S_OK,
                engine.AddRows(std::min(300u, kRows - at), kWidth, &input[at * kWidth], false));
    }
    ASSERT_EQ(S_OK, engine.AddRows(0, kWidth, nullptr, true));
    EXPECT_TRUE(!spill || SortEngineTestAccess::BytesSpilled(&engine) > 0) << "nothing spilled";
    engine.Destroy();
    EXPECT_EQ(0u, dir.Count()) << "scratch files left behind";

    ExpectOrdered(
        input.data(), kRows, sink.data, kWidth, kId,
        [&](const uint8_t* a, const uint8_t* b) {
          return oracle(a, b, descending, secondDescending);
        },
        dedup);
  }
}

INSTANTIATE_TEST_SUITE_P(KeyTypes, OracleSortTest, ::testing::ValuesIn(kKeyTypes),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace enginetest
