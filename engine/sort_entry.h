// The entries that sorting and merging move about, and the order on them.
//
// An entry is a row's address beside an order-preserving 64-bit prefix of
// its key (keys/key_prefix.h). Sorting and merging compare prefixes first,
// inside arrays they read front to back, and go to the rows themselves only
// when two prefixes are equal and the prefix does not settle the key
// completely. With keys that differ early, most comparisons never touch a
// row, and rows are read once more only when they leave the engine.
#pragma once

#include <cstdint>
#include <vector>

#include "keys/key_prefix.h"
#include "keys/sort_columns.h"

struct SortEntry {
  uint64_t Prefix;
  uint8_t* Row;
};

// The one order of stored rows, on entries: prefixes first, then CompareRows.
// Never contradicts CompareRows, because a prefix never does.
class RowOrder {
 public:
  RowOrder() = default;
  // REQUIRES: `keys` outlives this object and is not changed meanwhile.
  void Reset(const std::vector<SortColumn>& keys) {
    keys_ = keys.data();
    keyCount_ = keys.size();
    prefix_ = BuildKeyPrefix(keys_, keyCount_);
  }

  SortEntry EntryFor(uint8_t* row) const { return {RowPrefix(row, prefix_), row}; }

  int32_t Compare(const SortEntry& left, const SortEntry& right) const {
    if (left.Prefix != right.Prefix) return left.Prefix < right.Prefix ? -1 : 1;
    if (prefix_.complete) return 0;
    return CompareRows(left.Row, right.Row, keys_, keyCount_);
  }
  bool Less(const SortEntry& left, const SortEntry& right) const {
    return Compare(left, right) < 0;
  }
  // Equal keys, as duplicate elimination needs them.
  bool Equal(const SortEntry& left, const SortEntry& right) const {
    return Compare(left, right) == 0;
  }

 private:
  const SortColumn* keys_ = nullptr;
  size_t keyCount_ = 0;
  KeyPrefix prefix_{{}, true};
};
