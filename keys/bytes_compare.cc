#include <algorithm>
#include <cstring>

#include "keys/sort_columns.h"

uint32_t BytesLength(const uint8_t* row, const SortColumn& key) {
  const uint32_t slot = key.InputMaxLength;
  if (key.InputLengthOffset == kNoLengthField) return slot;
  uint32_t length;
  std::memcpy(&length, row + key.InputLengthOffset, sizeof(length));
  return std::min(length, slot);
}

int32_t CompareBytesValues(const uint8_t* left, const uint8_t* right, const SortColumn& key) {
  const uint32_t leftLength = BytesLength(left, key);
  const uint32_t rightLength = BytesLength(right, key);
  const int order = std::memcmp(left + key.InputDataOffset, right + key.InputDataOffset,
                                std::min(leftLength, rightLength));
  if (order != 0) return order < 0 ? -1 : 1;
  return leftLength < rightLength ? -1 : leftLength > rightLength ? 1 : 0;
}
