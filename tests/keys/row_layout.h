// Columns back to back (status, length, slot) at even offsets; the last slot ends the row,
// so a read past it leaves the allocation.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "keys/sort_columns.h"

namespace keystest {

struct RowLayout {
  std::vector<SortColumn> columns;
  uint32_t width = 0;

  SortColumn Add(int32_t type, uint32_t slot, int32_t keyPosition, uint32_t flags = 0) {
    width = (width + 1) & ~1u;
    SortColumn column{};
    column.InputStatusOffset = width;
    column.InputLengthOffset = width + 4;
    column.InputDataOffset = width + 8;
    column.OutputColumn.DataType = static_cast<uint32_t>(type);
    column.OutputColumn.MaxLength = column.InputMaxLength = slot;
    column.ComparisonFlags = flags;
    column.SortKeyPosition = keyPosition;
    EXPECT_EQ(SelectColumnFunctions(type, flags, &column.Compare, &column.Copy), S_OK);
    width += 8 + slot;
    columns.push_back(column);
    return column;
  }
  std::vector<uint8_t> NewRow() const { return std::vector<uint8_t>(width, 0); }
};

}  // namespace keystest
