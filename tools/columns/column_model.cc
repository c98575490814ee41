#include "tools/columns/column_model.h"

#include "host/column_spec.h"
#include "interfaces/pipeline_types.h"

namespace tolvarine {

ColumnModel MakeColumnModel(const FieldSpec& field) {
  ColumnModel column;
  column.name = field.name;
  column.field = field.type;
  column.dataType = field.type.type;
  switch (field.type.type) {
    case DT_STR:
      column.length = static_cast<int32_t>(field.type.length);
      column.codePage = kStrCodePage;
      column.valueBytes = host::ValueSlotSize(DT_STR, column.length);
      column.recordBytes = field.type.length;
      break;
    case DT_WSTR:
      column.length = static_cast<int32_t>(field.type.length);
      column.valueBytes = host::ValueSlotSize(DT_WSTR, column.length);
      column.recordBytes = 2 * field.type.length;
      break;
    case DT_BYTES:
      column.length = static_cast<int32_t>(field.type.length);
      column.valueBytes = field.type.length;
      column.recordBytes = field.type.length;
      break;
    case DT_NUMERIC:
      column.precision = static_cast<int32_t>(field.type.precision);
      column.scale = static_cast<int32_t>(field.type.scale);
      column.valueBytes = column.recordBytes = host::ValueSlotSize(DT_NUMERIC, 0);
      break;
    default:
      column.valueBytes = column.recordBytes = host::ValueSlotSize(field.type.type, 0);
      break;
  }
  return column;
}

std::vector<ColumnModel> MakeColumnModels(const std::vector<FieldSpec>& fields) {
  std::vector<ColumnModel> columns;
  columns.reserve(fields.size());
  for (const FieldSpec& field : fields) columns.push_back(MakeColumnModel(field));
  return columns;
}

uint32_t RecordWidth(const std::vector<ColumnModel>& columns) {
  uint32_t width = 0;
  for (const ColumnModel& column : columns) width += column.recordBytes;
  return width;
}

}  // namespace tolvarine
