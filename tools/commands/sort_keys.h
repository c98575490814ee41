// Turns the -k options into sort key settings of the columns.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/columns/column_model.h"
#include "tools/commands/sort_options.h"

namespace tolvarine {

// The settings of one column as the component's column properties carry them.
struct ColumnKey {
  int32_t sortKeyPosition = 0;  // 0: not a key; |n|: rank; negative: descending.
  std::optional<int32_t> comparisonFlags;
};

// One entry per column. A key's COLUMN is a column name or, when no column
// has that name, a 1-based column number. False with *error for an unknown
// or ambiguous column, or one named by two keys.
bool ResolveSortKeys(const std::vector<KeySpec>& keys, const std::vector<ColumnModel>& columns,
                     std::vector<ColumnKey>* settings, std::string* error);

}  // namespace tolvarine
