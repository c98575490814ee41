#include "keys/key_prefix.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "interfaces/pipeline_types.h"
#include "tests/keys/row_layout.h"
#include "tests/support/wine.h"

namespace {

using Row = std::vector<uint8_t>;
using Random = std::mt19937_64;

int Sign(int64_t value) {
  return (value > 0) - (value < 0);
}

// Fills a value slot (and sets the length field of DT_BYTES).
using Generator = std::function<void(Random&, uint8_t* slot, uint32_t slotSize, uint32_t* length)>;

// Bytes mostly from range edges, so that values tie, hit extremes and carry odd sign/scale bytes.
uint8_t EdgeByte(Random& random) {
  static constexpr uint8_t kEdges[] = {0x00, 0x00, 0x01, 0x7F, 0x80, 0xFF};
  const auto pick = random() % 8;
  return pick < 6 ? kEdges[pick] : static_cast<uint8_t>(random());
}

void EdgeBytes(Random& random, uint8_t* slot, uint32_t slotSize, uint32_t*) {
  for (uint32_t i = 0; i < slotSize; ++i) slot[i] = EdgeByte(random);
}

// Zeros of both signs, small values, scales around the largest valid one, invalid sign bytes.
void Decimals(Random& random, uint8_t* slot, uint32_t slotSize, uint32_t* length) {
  EdgeBytes(random, slot, slotSize, length);
  static constexpr uint8_t kScales[] = {0, 1, 28, 29};
  static constexpr uint8_t kSigns[] = {0, 0x80, 0, 0x80, 1};
  slot[2] = kScales[random() % std::size(kScales)];
  // Wine's VarDecCmp is exact only where both values fit 96 bits at the larger scale
  // (tests/platform/win32/decimal_order_test.cc): keep well-formed values below 7.9 there.
  const bool wine = testsupport::RunningOnWine();
  if (wine && slot[2] != 29) slot[2] = 28;
  slot[3] = kSigns[random() % std::size(kSigns)];
  const auto kind = random() % 3;  // Zero, a small value whose integer part often ties, or any.
  if (kind < 2) std::memset(slot + 4, 0, 12);
  if (kind == 1) {
    const uint64_t small = random() % 2000;
    std::memcpy(slot + 8, &small, 8);
    slot[2] = static_cast<uint8_t>((wine ? 25 : 0) + random() % 4);
  }
}

template <class T>
void Floats(Random& random, uint8_t* slot, uint32_t, uint32_t*) {
  using Limits = std::numeric_limits<T>;
  const T nan = Limits::quiet_NaN(), inf = Limits::infinity();
  const T edges[] = {
      nan,  -nan,  inf,    -inf,   Limits::max(), Limits::lowest(), Limits::denorm_min(),
      T(0), -T(0), T(0.5), T(-0.5)};
  const auto pick = random() % 4;
  // Edges; quarter days around the epoch, where negative dates fold; any value; any bit pattern.
  T value = pick == 0   ? edges[random() % std::size(edges)]
            : pick == 1 ? static_cast<T>(static_cast<int>(random() % 25) - 12) / 4
                        : std::uniform_real_distribution<T>(-1e5, 1e5)(random);
  if (pick == 3) {
    for (size_t i = 0; i < sizeof(T); ++i) slot[i] = static_cast<uint8_t>(random());
    return;
  }
  std::memcpy(slot, &value, sizeof(T));
}

// NUL-terminated strings of units around case-folding boundaries, then junk no one may read.
template <class Unit>
void Strings(Random& random, uint8_t* slot, uint32_t slotSize, uint32_t*) {
  static constexpr Unit kUnits[] = {'a', 'A',  'z',  'Z',  '@',        '[', '`',
                                    '{', 0x7F, 0xC1, 0xDB, Unit(0xFF), 1};
  const uint32_t capacity = slotSize / sizeof(Unit);
  const uint32_t length = random() % capacity;
  for (uint32_t i = 0; i < capacity; ++i) {
    Unit unit = i < length ? kUnits[random() % std::size(kUnits)]
                           : static_cast<Unit>(i == length ? 0 : random() | 1);
    if (sizeof(Unit) == 2 && i < length && random() % 8 == 0) {
      static constexpr char16_t kWide[] = {0xFF00, 0x0141, 0x0150};  // Not letters.
      unit = static_cast<Unit>(kWide[random() % std::size(kWide)]);
    }
    std::memcpy(slot + i * sizeof(Unit), &unit, sizeof(Unit));
  }
}

// Values that are prefixes of others, with and without trailing zeros; lengths beyond the slot.
void ByteStrings(Random& random, uint8_t* slot, uint32_t slotSize, uint32_t* length) {
  *length = random() % (slotSize + 3);
  if (random() % 16 == 0) *length = 0xFFFFFFFF;
  for (uint32_t i = 0; i < slotSize; ++i) slot[i] = random() % 3 == 0 ? 0 : EdgeByte(random);
}

struct KeyType {
  int32_t type;
  uint32_t slot;
  uint32_t flags;
  Generator generate;
};

std::vector<KeyType> KeyTypes() {
  std::vector<KeyType> types;
  const int32_t fixed[][2] = {
      {DT_I1, 1},    {DT_UI1, 1},      {DT_I2, 2},     {DT_UI2, 2},
      {DT_I4, 4},    {DT_UI4, 4},      {DT_I8, 8},     {DT_UI8, 8},
      {DT_CY, 8},    {DT_FILETIME, 8}, {DT_BOOL, 2},   {DT_NUMERIC, 19},
      {DT_GUID, 16}, {DT_DBDATE, 6},   {DT_DBTIME, 6}, {DT_DBTIMESTAMP, 16}};
  for (const auto& [type, slot] : fixed) types.push_back({type, uint32_t(slot), 0, EdgeBytes});
  types.push_back({DT_R4, 4, 0, Floats<float>});
  types.push_back({DT_R8, 8, 0, Floats<double>});
  types.push_back({DT_DATE, 8, 0, Floats<double>});
  types.push_back({DT_DECIMAL, 16, 0, Decimals});
  types.push_back({DT_BYTES, 10, 0, ByteStrings});
  types.push_back({DT_BYTES, 5, 0, ByteStrings});
  for (uint32_t flags : {CMPFLAG_ORDINAL, CMPFLAG_ORDINAL_IGNORECASE, 1u}) {
    types.push_back({DT_STR, 12, flags, Strings<uint8_t>});
    types.push_back({DT_WSTR, 14, flags, Strings<char16_t>});
  }
  types.push_back({DT_STR, 5, CMPFLAG_ORDINAL_IGNORECASE, Strings<uint8_t>});
  types.push_back({DT_WSTR, 6, CMPFLAG_ORDINAL_IGNORECASE, Strings<char16_t>});
  return types;
}

// Key columns with the generators of their values.
struct Layout : keystest::RowLayout {
  std::vector<Generator> generators;

  void Add(const KeyType& type, int32_t position) {
    RowLayout::Add(type.type, type.slot, position, type.flags);
    generators.push_back(type.generate);
  }

  Row NewRow(Random& random) const {
    Row row = RowLayout::NewRow();
    for (size_t k = 0; k < columns.size(); ++k) {
      const SortColumn& key = columns[k];
      uint32_t length = key.InputMaxLength;
      generators[k](random, row.data() + key.InputDataOffset, key.InputMaxLength, &length);
      const uint32_t status = random() % 10 == 0 ? DBSTATUS_S_ISNULL : 0;
      std::memcpy(row.data() + key.InputStatusOffset, &status, 4);
      std::memcpy(row.data() + key.InputLengthOffset, &length, 4);
    }
    return row;
  }
};

// Over every pair of rows: prefix order never contradicts CompareRows, and equal prefixes of a
// complete encoding mean equal rows. Returns how many pairs the prefix ordered.
size_t CheckPrefixOrder(const Layout& layout, uint64_t seed) {
  Random random(seed);
  const KeyPrefix prefix = BuildKeyPrefix(layout.columns.data(), layout.columns.size());
  std::vector<Row> rows;
  std::vector<uint64_t> prefixes;
  for (int i = 0; i < 120; ++i) {
    rows.push_back(layout.NewRow(random));
    prefixes.push_back(RowPrefix(rows.back().data(), prefix));
  }
  size_t ordered = 0;
  for (size_t i = 0; i < rows.size(); ++i) {
    for (size_t j = 0; j < rows.size(); ++j) {
      const int byPrefix = prefixes[i] < prefixes[j] ? -1 : prefixes[i] > prefixes[j] ? 1 : 0;
      const int byRows = Sign(CompareRows(rows[i].data(), rows[j].data(), layout.columns));
      if (byPrefix != 0) {
        ++ordered;
        EXPECT_EQ(byPrefix, byRows)
            << i << " " << j << " " << std::hex << prefixes[i] << " " << prefixes[j];
      } else if (prefix.complete) {
        EXPECT_EQ(byRows, 0) << i << " " << j << " " << std::hex << prefixes[i];
      }
      if (::testing::Test::HasFailure()) return ordered;
    }
  }
  return ordered;
}

TEST(RowPrefix, NeverContradictsCompareRowsForAnyTypeDirectionOrPosition) {
  const KeyType smallInteger = {DT_I1, 1, 0, EdgeBytes};
  const KeyType boolean = {DT_BOOL, 2, 0, EdgeBytes};
  uint64_t seed = 1;
  for (const KeyType& type : KeyTypes()) {
    const bool encodable = SelectPrefixEncoding(type.type, type.flags).encode != nullptr;
    for (int32_t direction : {1, -1}) {
      SCOPED_TRACE("type " + std::to_string(type.type) + " flags " + std::to_string(type.flags) +
                   " direction " + std::to_string(direction));
      // Alone; followed by another key; behind two keys, so that its field is packed lower or cut.
      Layout alone, first, packed;
      alone.Add(type, direction);
      first.Add(type, direction);
      first.Add(smallInteger, 2);
      packed.Add(boolean, -1);
      packed.Add(smallInteger, 2);
      packed.Add(type, 3 * direction);
      packed.Add(smallInteger, -4);
      for (const Layout* layout : {&alone, &first, &packed}) {
        const size_t ordered = CheckPrefixOrder(*layout, seed++);
        if (HasFailure()) return;
        // A prefix that never orders anything would pass the check above.
        if (encodable || layout == &packed) {
          EXPECT_GT(ordered, 0u);
        }
      }
    }
  }
}

}  // namespace
