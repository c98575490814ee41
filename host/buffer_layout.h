// The layout of the rows of one buffer type: for every column a value slot,
// a 32-bit status and, for DT_BYTES, a 32-bit length, each at an offset
// aligned to its natural alignment (ValueSlotAlignment for values, 4 for
// status and length fields); the row width is a multiple of 8, and at least
// 8 so that every row has an address of its own. Fields never overlap.
//
// Two orders exist so that a component can never assume that its input and
// output rows look alike:
//  - kColumnOrder: column by column, each column's value, then its length
//    field, then its status.
//  - kPacked: the status and length fields of all columns first (column
//    order), then the value slots by descending alignment (column order
//    among equals), which wastes the least padding.
// Column indexes are always the columns' positions in the list given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "interfaces/pipeline_types.h"
#include "platform/com_types.h"

namespace host {

// A column as the buffer manager needs it.
struct LayoutColumn {
  int32_t lineageID = 0;
  int32_t dataType = DT_EMPTY;
  int32_t length = 0;
  int32_t precision = 0;
  int32_t scale = 0;
  int32_t codePage = 0;
};

enum class LayoutOrder { kColumnOrder, kPacked };

class BufferLayout {
 public:
  // E_INVALIDARG when a column's data type properties are refused
  // (CheckDataTypeProperties), two columns share a lineage ID, or the row
  // would be wider than 2^31 bytes.
  static HRESULT Compute(const std::vector<LayoutColumn>& columns, LayoutOrder order,
                         BufferLayout* layout);

  uint32_t RowWidth() const { return rowWidth_; }
  size_t ColumnCount() const { return columns_.size(); }
  // REQUIRES: index < ColumnCount().
  const BufferColumnInfo& Column(size_t index) const { return columns_[index]; }
  int32_t LineageID(size_t index) const { return lineageIDs_[index]; }
  // Index of the column with that lineage ID, or -1.
  int32_t FindLineageID(int32_t lineageID) const;

 private:
  std::vector<BufferColumnInfo> columns_;
  std::vector<int32_t> lineageIDs_;
  uint32_t rowWidth_ = 8;
};

}  // namespace host
