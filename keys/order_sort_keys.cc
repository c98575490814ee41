#include <algorithm>

#include "keys/sort_columns.h"

namespace {

uint32_t KeyRank(const SortColumn& column) {
  // Unsigned negation: the rank of INT32_MIN is representable.
  const uint32_t position = static_cast<uint32_t>(column.SortKeyPosition);
  return column.SortKeyPosition < 0 ? 0u - position : position;
}

}  // namespace

void OrderSortKeys(std::vector<SortColumn>* keys) {
  std::stable_sort(keys->begin(), keys->end(), [](const SortColumn& a, const SortColumn& b) {
    return KeyRank(a) < KeyRank(b);
  });
}
