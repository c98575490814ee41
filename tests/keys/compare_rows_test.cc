#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "keys/sort_columns.h"
#include "tests/keys/row_layout.h"

namespace {

using keystest::RowLayout;
using Row = std::vector<uint8_t>;

int Sign(int32_t value) {
  return (value > 0) - (value < 0);
}

void Set(Row& row, uint32_t offset, const void* value, size_t size) {
  std::memcpy(row.data() + offset, value, size);
}

TEST(CompareRows, OrdersByRankDirectionAndNulls) {
  // P at position 2, Q not a key, R at -1 (case-insensitive): R descending decides, then P.
  RowLayout layout;
  const SortColumn p = layout.Add(DT_I4, 4, 2);
  const SortColumn q = layout.Add(DT_I4, 4, 0);
  const SortColumn r = layout.Add(DT_WSTR, 8, -1, CMPFLAG_ORDINAL_IGNORECASE);
  std::vector<SortColumn> keys = {p, r};
  OrderSortKeys(&keys);
  auto row = [&](int32_t pValue, int32_t qValue, const char16_t* rValue) {
    Row result = layout.NewRow();
    Set(result, p.InputDataOffset, &pValue, 4);
    Set(result, q.InputDataOffset, &qValue, 4);
    if (rValue) {
      Set(result, r.InputDataOffset, rValue, (std::char_traits<char16_t>::length(rValue) + 1) * 2);
    } else {
      Set(result, r.InputStatusOffset, &DBSTATUS_S_ISNULL, 4);
    }
    return result;
  };
  auto compare = [&](const Row& left, const Row& right) {
    const int order = Sign(CompareRows(left.data(), right.data(), keys));
    EXPECT_EQ(order, -Sign(CompareRows(right.data(), left.data(), keys)));
    return order;
  };
  // The case-insensitive comparator answers with any magnitude; descending flips the sign only.
  EXPECT_EQ(compare(row(1, 0, u"abc"), row(0, 0, u"zzz")), 1);
  EXPECT_EQ(compare(row(1, 0, u"ABC"), row(2, 0, u"abc")), -1);
  EXPECT_EQ(compare(row(1, 0, u"ABC"), row(1, 9, u"abc")), 0) << "Q takes no part";
  // NULL sorts after every value of the descending R; two NULLs tie.
  EXPECT_EQ(compare(row(0, 0, nullptr), row(1, 0, u"zzz")), 1);
  EXPECT_EQ(compare(row(0, 0, nullptr), row(1, 0, nullptr)), -1);
  keys[0].SortKeyPosition = 1;
  EXPECT_EQ(compare(row(5, 0, nullptr), row(1, 0, u"")), -1) << "and before those ascending";
  EXPECT_EQ(CompareRows(row(0, 0, u"a").data(), row(1, 0, u"b").data(), {}), 0) << "no key";
}

TEST(OrderSortKeys, SortsByRankKeepingColumnOrderForEqualRanks) {
  std::vector<SortColumn> keys;
  for (int32_t position : {3, -2, 1, 2, -1, INT32_MIN, 1}) {
    keys.push_back(SortColumn{});
    keys.back().SortKeyPosition = position;
    keys.back().InputDataOffset = static_cast<uint32_t>(keys.size() - 1);  // Column number.
  }
  OrderSortKeys(&keys);
  std::vector<uint32_t> order;
  for (const auto& key : keys) order.push_back(key.InputDataOffset);
  EXPECT_EQ(order, (std::vector<uint32_t>{2, 4, 6, 1, 3, 0, 5}));
}

TEST(CompareBytesValues, OrdersByCommonPrefixThenLengthWithinTheSlot) {
  RowLayout layout;
  SortColumn bytes = layout.Add(DT_BYTES, 3, 1);
  ASSERT_EQ(bytes.Compare, nullptr);
  bytes.OutputColumn.MaxLength = 8;  // A larger output slot bounds no read.
  std::mt19937 random(3);
  std::vector<Row> rows;
  std::vector<std::vector<uint8_t>> values;
  for (int i = 0; i < 60; ++i) {
    // Up to 3 bytes, then filler that must not count; a length beyond the slot is clamped.
    Row slot(3, static_cast<uint8_t>(random()));
    uint32_t length = random() % 5;
    if (length == 4) length = 0xFFFFFFFF;
    values.emplace_back(slot.begin(), slot.begin() + std::min(length, 3u));
    for (size_t b = 0; b < values.back().size(); ++b)
      slot[b] = values.back()[b] = random() % 2 * 0xFF;
    rows.push_back(layout.NewRow());
    Set(rows.back(), bytes.InputLengthOffset, &length, 4);
    Set(rows.back(), bytes.InputDataOffset, slot.data(), 3);
  }
  for (size_t i = 0; i < rows.size(); ++i) {
    for (size_t j = 0; j < rows.size(); ++j) {
      const int expected = values[i] < values[j] ? -1 : values[i] == values[j] ? 0 : 1;
      ASSERT_EQ(CompareRows(rows[i].data(), rows[j].data(), {bytes}), expected) << i << " " << j;
    }
  }
}

}  // namespace
