// The layout of every column and of the sort key, and CompareRows, the
// one definition of row order used by sorting, merging and duplicate
// elimination.
#pragma once

#include <cstdint>
#include <vector>

#include "interfaces/pipeline_types.h"
#include "keys/column_functions.h"
#include "platform/unaligned.h"

struct SortColumn {
  uint32_t InputDataOffset;
  uint32_t InputLengthOffset;
  uint32_t InputStatusOffset;
  BufferColumnInfo OutputColumn;  // The column in the output buffer.
  uint32_t ComparisonFlags;       // The input column's NewComparisonFlags.
  int32_t SortKeyPosition;        // 0: not a key; |n|: rank; negative: descending.
  ColumnComparator Compare;       // Null for DT_BYTES.
  ColumnCopier Copy;              // Null for DT_BYTES.
  // Bytes of the column's value slot in a stored row: no value is read
  // beyond it. The output slot is at least as large.
  uint32_t InputMaxLength;
};

// Orders the keys by absolute key position; equal positions keep their
// column order (a stable sort).
void OrderSortKeys(std::vector<SortColumn>* keys);

// The length of a key's DT_BYTES value, never more than its slot holds. A
// column without a length field fills its slot.
uint32_t BytesLength(const uint8_t* row, const SortColumn& key);

// Compares the DT_BYTES values of one key: the common prefix as unsigned
// bytes, then the shorter value first. Lengths are clamped to the input slot.
int32_t CompareBytesValues(const uint8_t* left, const uint8_t* right, const SortColumn& key);

// Orders two stored rows by the keys. NULL sorts before every value of an
// ascending key and after every value of a descending one; two NULLs are
// equal. REQUIRES: `keys` describe rows of this layout, ordered by OrderSortKeys.
inline int32_t CompareRows(const uint8_t* left, const uint8_t* right, const SortColumn* keys,
                           size_t keyCount) {
  for (size_t i = 0; i < keyCount; ++i) {
    const SortColumn& key = keys[i];
    const auto leftStatus = plat::Load<uint32_t>(left + key.InputStatusOffset);
    const auto rightStatus = plat::Load<uint32_t>(right + key.InputStatusOffset);
    int32_t result;
    if (leftStatus == DBSTATUS_S_ISNULL) {
      result = rightStatus == DBSTATUS_S_ISNULL ? 0 : -1;
    } else if (rightStatus == DBSTATUS_S_ISNULL) {
      result = 1;
    } else if (key.Compare) {
      result =
          key.Compare(left + key.InputDataOffset, right + key.InputDataOffset, key.ComparisonFlags);
    } else {
      result = CompareBytesValues(left, right, key);
    }
    if (result != 0) return key.SortKeyPosition < 0 ? (result < 0 ? 1 : -1) : result;
  }
  return 0;
}

inline int32_t CompareRows(const uint8_t* left, const uint8_t* right,
                           const std::vector<SortColumn>& keys) {
  return CompareRows(left, right, keys.data(), keys.size());
}
