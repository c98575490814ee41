#include "host/buffer_layout.h"

#include <algorithm>
#include <unordered_set>

#include "host/column_spec.h"

namespace host {
namespace {

constexpr uint64_t kMaxRowWidth = 0x7FFFFFFFu;

uint64_t AlignUp(uint64_t offset, uint32_t alignment) {
  return (offset + alignment - 1) / alignment * alignment;
}

// One field of a row to be placed: a column's value, length or status.
struct Field {
  size_t column;
  enum Kind { kValue, kLength, kStatus } kind;
  uint32_t size;
  uint32_t alignment;
};

void PlaceField(const Field& field, uint64_t* offset, std::vector<BufferColumnInfo>* infos) {
  *offset = AlignUp(*offset, field.alignment);
  BufferColumnInfo& info = (*infos)[field.column];
  uint32_t at = static_cast<uint32_t>(std::min(*offset, kMaxRowWidth));
  switch (field.kind) {
    case Field::kValue:
      info.DataOffset = at;
      break;
    case Field::kLength:
      info.LengthOffset = at;
      break;
    case Field::kStatus:
      info.StatusOffset = at;
      break;
  }
  *offset += field.size;
}

}  // namespace

HRESULT BufferLayout::Compute(const std::vector<LayoutColumn>& columns, LayoutOrder order,
                              BufferLayout* layout) {
  BufferLayout result;
  result.columns_.resize(columns.size());
  result.lineageIDs_.resize(columns.size());
  std::unordered_set<int32_t> seen;
  std::vector<Field> values, counters;  // counters: status and length fields.
  for (size_t i = 0; i < columns.size(); ++i) {
    const LayoutColumn& c = columns[i];
    if (FAILED(CheckDataTypeProperties(c.dataType, c.length, c.precision, c.scale))) {
      return E_INVALIDARG;
    }
    if (!seen.insert(c.lineageID).second) return E_INVALIDARG;
    result.lineageIDs_[i] = c.lineageID;
    BufferColumnInfo& info = result.columns_[i];
    info.DataType = static_cast<uint32_t>(c.dataType);
    info.MaxLength = ValueSlotSize(c.dataType, c.length);
    info.LengthOffset = kNoLengthField;
    info.CodePage = static_cast<uint32_t>(c.codePage);
    info.Precision = static_cast<uint32_t>(c.precision);
    info.Scale = static_cast<uint32_t>(c.scale);
    values.push_back({i, Field::kValue, info.MaxLength, ValueSlotAlignment(c.dataType)});
    if (HasLengthField(c.dataType)) counters.push_back({i, Field::kLength, 4, 4});
    counters.push_back({i, Field::kStatus, 4, 4});
  }

  std::vector<Field> fields;
  if (order == LayoutOrder::kColumnOrder) {
    size_t next = 0;
    for (const Field& value : values) {
      fields.push_back(value);
      while (next < counters.size() && counters[next].column == value.column) {
        fields.push_back(counters[next++]);
      }
    }
  } else {
    std::stable_sort(values.begin(), values.end(),
                     [](const Field& a, const Field& b) { return a.alignment > b.alignment; });
    fields = counters;
    fields.insert(fields.end(), values.begin(), values.end());
  }

  uint64_t offset = 0;
  for (const Field& field : fields) {
    PlaceField(field, &offset, &result.columns_);
    if (offset > kMaxRowWidth) return E_INVALIDARG;
  }
  offset = std::max<uint64_t>(AlignUp(offset, 8), 8);
  if (offset > kMaxRowWidth) return E_INVALIDARG;
  result.rowWidth_ = static_cast<uint32_t>(offset);
  *layout = std::move(result);
  return S_OK;
}

int32_t BufferLayout::FindLineageID(int32_t lineageID) const {
  for (size_t i = 0; i < lineageIDs_.size(); ++i) {
    if (lineageIDs_[i] == lineageID) return static_cast<int32_t>(i);
  }
  return -1;
}

}  // namespace host
