// Whole sorts of key types whose prefixes differ in kind, checked against an
// order written here: the engine must use prefixes and comparators alike in
// memory, spilled, descending and deduplicated (the keys tests hold each type).
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
#include "tests/engine/engine_test_support.h"

namespace enginetest {
namespace {

// Row: the key (status, length, 48-byte slot), an I4 key of 4 values, the id.
constexpr uint32_t kSlot = 48, kK2Status = 56, kK2 = 60, kId = 68, kWidth = 72;

struct Value {
  std::array<uint8_t, kSlot> bytes{};
  uint32_t length = 0;
};
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

// Every NaN alike and first; then numbers, -0 being 0.
template <class T>
int FloatOrder(const uint8_t* a, uint32_t, const uint8_t* b, uint32_t) {
  const T x = Load<T>(a), y = Load<T>(b);
  if (std::isnan(x) || std::isnan(y)) return int{!std::isnan(x)} - int{!std::isnan(y)};
  return Order(x, y);
}
// UTF-16 code units up to the NUL.
int StringOrder(const uint8_t* a, uint32_t, const uint8_t* b, uint32_t) {
  for (;; a += 2, b += 2) {
    const char16_t x = Load<char16_t>(a), y = Load<char16_t>(b);
    if (x != y || x == 0) return Order(x, y);
  }
}

// Value generators: a type's edge values, then random ones.
using Random = std::mt19937_64;
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
    {"R8", DT_R8, 0, 8, FloatOrder<double>, FloatValues<double, uint64_t>},
    {"WSTR", DT_WSTR, CMPFLAG_ORDINAL, 48, StringOrder,
     UnitValues<true, 2, 23, 'a', 'A', 0x100, 0xD800, 0xFFFF, 0x7F, 0x80, 1>},
};

void PrintTo(const KeyType& type, std::ostream* os) {
  *os << type.name;
}

class OracleSortTest : public ::testing::TestWithParam<KeyType> {};

TEST_P(OracleSortTest, MatchesTheTypesOrderAscendingDescendingDedupedAndSpilled) {
  const KeyType& kt = GetParam();
  const bool hasLength = kt.type == DT_BYTES || kt.type == DT_STR || kt.type == DT_WSTR;
  SortColumn key = KeyColumn(kt.type, kt.flags, 8, hasLength ? 4 : kNoLengthField, 0, kt.size);
  SortColumn second = KeyColumn(DT_I4, 0, kK2, kNoLengthField, kK2Status, 4);

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
  // -1, 0 or 1 as rows a and b order with the keys in these directions; NULL first.
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
