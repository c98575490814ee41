// Whole sorts of UTF-16 strings with garbage after the terminator, checked
// against an order written here: the engine must use key prefixes, lengths and
// comparators alike in memory, spilled, descending and deduplicated.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <random>

#include "keys/column_functions.h"
#include "keys/value_functions.h"
#include "tests/engine/engine_test_support.h"

namespace enginetest {
namespace {

// Row: the key (status, length, 48-byte slot), an I4 key of 4 values, the id.
constexpr uint32_t kSlot = 48, kK2Status = 56, kK2 = 60, kId = 68, kWidth = 72;
constexpr uint32_t kMaxLength = 23;

using keys::Load;
template <class T>
int Order(const T& a, const T& b) {
  return a < b ? -1 : b < a ? 1 : 0;
}
// Code units up to the NUL.
int StringOrder(const uint8_t* a, const uint8_t* b) {
  for (;; a += 2, b += 2) {
    const char16_t x = Load<char16_t>(a), y = Load<char16_t>(b);
    if (x != y || x == 0) return Order(x, y);
  }
}

struct Value {
  std::array<uint8_t, kSlot> bytes{};
  uint32_t length = 0;
};
// A third of the values share an 8-unit prefix; slot bytes after the NUL hold
// garbage, which must not change the order.
std::vector<Value> StringValues(std::mt19937_64& r, int count) {
  const char16_t alphabet[] = {'a', 'A', 0x100, 0xD800, 0xFFFF, 0x7F, 0x80, 1};
  std::vector<Value> v;
  for (int i = 0; i < count; ++i) {
    Value s;
    for (uint8_t& b : s.bytes) b = uint8_t(r() | 1);
    const bool sharesPrefix = i % 3 == 0;
    s.length = sharesPrefix ? 6 + r() % (kMaxLength - 5) : r() % (kMaxLength + 1);
    for (uint32_t c = 0; c <= s.length; ++c) {
      const char16_t u = c == s.length           ? 0
                         : sharesPrefix && c < 8 ? alphabet[c % 2]
                                                 : alphabet[r() % 8];
      std::memcpy(&s.bytes[c * 2], &u, 2);
    }
    v.push_back(s);
  }
  return v;
}

TEST(OracleSortTest, MatchesTheOrderAscendingDescendingDedupedAndSpilled) {
  SortColumn key = KeyColumn(DT_WSTR, CMPFLAG_ORDINAL, 8, 4, 0, kSlot);
  SortColumn second = KeyColumn(DT_I4, 0, kK2, kNoLengthField, kK2Status, 4);
  std::mt19937_64 random(7);
  const std::vector<Value> pool = StringValues(random, 250);
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
                                 : StringOrder(a + 8, b + 8);
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

}  // namespace
}  // namespace enginetest
