#include "tools/commands/sort_keys.h"

#include <charconv>
#include <cstdlib>

namespace tolvarine {
namespace {

std::string ColumnNames(const std::vector<ColumnModel>& columns) {
  std::string names;
  for (size_t i = 0; i < columns.size(); ++i) {
    if (i > 0) names += ", ";
    if (i == 8 && columns.size() > 9) return names + "... (" + std::to_string(columns.size()) + ")";
    names += columns[i].name;
  }
  return names;
}

// Index of the column a key names, or -1 with *error.
int64_t FindKeyColumn(const std::string& name, const std::vector<ColumnModel>& columns,
                      std::string* error) {
  int64_t found = -1;
  for (size_t i = 0; i < columns.size(); ++i) {
    if (columns[i].name != name) continue;
    if (found >= 0) {
      *error = "key column '" + name + "' is ambiguous: columns " + std::to_string(found + 1) +
               " and " + std::to_string(i + 1) + " have that name; use the number";
      return -1;
    }
    found = static_cast<int64_t>(i);
  }
  if (found >= 0) return found;
  uint64_t number = 0;
  auto [end, ec] = std::from_chars(name.data(), name.data() + name.size(), number);
  if (ec == std::errc() && end == name.data() + name.size() && number >= 1 &&
      number <= columns.size()) {
    return static_cast<int64_t>(number - 1);
  }
  *error = "unknown key column '" + name + "'; the columns are: " + ColumnNames(columns);
  return -1;
}

}  // namespace

bool ResolveSortKeys(const std::vector<KeySpec>& keys, const std::vector<ColumnModel>& columns,
                     std::vector<ColumnKey>* settings, std::string* error) {
  settings->assign(columns.size(), ColumnKey{});
  for (size_t rank = 0; rank < keys.size(); ++rank) {
    const KeySpec& key = keys[rank];
    int64_t index = FindKeyColumn(key.column, columns, error);
    if (index < 0) return false;
    ColumnKey& setting = (*settings)[static_cast<size_t>(index)];
    if (setting.sortKeyPosition != 0) {
      *error = "column '" + columns[static_cast<size_t>(index)].name +
               "' is named by two keys (key " + std::to_string(std::abs(setting.sortKeyPosition)) +
               " and key " + std::to_string(rank + 1) + ")";
      return false;
    }
    const int32_t position = static_cast<int32_t>(rank + 1);
    setting.sortKeyPosition = key.descending ? -position : position;
    setting.comparisonFlags = key.comparisonFlags;
  }
  return true;
}

}  // namespace tolvarine
