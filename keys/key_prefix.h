// An order-preserving 64-bit prefix of a row's sort key.
//
// Comparing two prefixes as unsigned integers never contradicts CompareRows:
// a smaller prefix belongs to a row that sorts first, a larger one to a row
// that sorts last. Equal prefixes settle nothing (unless the whole key was
// encoded exactly), and the caller falls back to CompareRows. Sorting on the
// prefix first replaces most indirect comparator calls by one integer compare.
//
// Each key gets a field: a NULL indicator bit followed by its code. Keys are
// packed from the most significant bit down, in key order, while they fit;
// the first key whose code does not settle its order completely (a partial
// code, or one cut short for lack of room) is the last one packed, because a
// later key only matters where every earlier one is equal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "keys/sort_columns.h"
#include "keys/value_functions.h"

// The code of one non-NULL key value of a row, right-aligned in the
// encoding's `bits`. Larger codes belong to values that sort later.
using PrefixEncoder = uint64_t (*)(const uint8_t* row, const SortColumn& key);

struct PrefixEncoding {
  PrefixEncoder encode;  // Null: the type's order has no cheap code.
  uint32_t bits;         // 1 to 64.
  bool exact;            // Equal codes mean equal values.
};

// The encoding for a key of this data type and these comparison flags,
// chosen once per key like its comparator. Locale-aware string comparisons
// and unknown types give a null encoder.
PrefixEncoding SelectPrefixEncoding(int32_t dataType, uint32_t flags);

struct PrefixField {
  SortColumn key;
  PrefixEncoder encode;
  uint32_t codeBits;  // The encoding's bits.
  uint32_t dropBits;  // Low bits of the field (indicator and code) cut off.
  uint32_t shift;     // Where the kept part's lowest bit lands.
  uint64_t invert;    // The kept part's mask for a descending key, else 0.
};

struct KeyPrefix {
  std::vector<PrefixField> fields;
  // Every key was encoded exactly and in full: equal prefixes mean
  // CompareRows gives 0.
  bool complete;
};

// The fields for these keys (as ordered by OrderSortKeys).
KeyPrefix BuildKeyPrefix(const SortColumn* keys, size_t count);

// The prefix of one stored row.
inline uint64_t RowPrefix(const uint8_t* row, const KeyPrefix& prefix) {
  uint64_t result = 0;
  for (const PrefixField& field : prefix.fields) {
    uint64_t kept = 0;  // NULL: below every value.
    if (keys::Load<uint32_t>(row + field.key.InputStatusOffset) != DBSTATUS_S_ISNULL) {
      // The indicator sits just above the code; both lose the low dropBits.
      const uint64_t code = field.encode(row, field.key);
      const uint32_t indicator = field.codeBits - field.dropBits;
      kept = (uint64_t{1} << indicator) | (field.dropBits >= 64 ? 0 : code >> field.dropBits);
    }
    result |= (kept ^ field.invert) << field.shift;
  }
  return result;
}
