#include "tools/column_model.h"

#include "component/pipeline_types.h"
#include "platform/decimal.h"

namespace tolvarine {
namespace {

uint32_t FixedValueBytes(int32_t type) {
  switch (type) {
    case DT_I1:
    case DT_UI1:
      return 1;
    case DT_I2:
    case DT_UI2:
    case DT_BOOL:
      return 2;
    case DT_I4:
    case DT_UI4:
    case DT_R4:
      return 4;
    case DT_I8:
    case DT_UI8:
    case DT_R8:
    case DT_CY:
    case DT_DATE:
    case DT_FILETIME:
      return 8;
    case DT_DECIMAL:
      return sizeof(DECIMAL);
    case DT_GUID:
      return 16;
    case DT_NUMERIC:
      return sizeof(DB_NUMERIC);
    case DT_DBDATE:
      return sizeof(DBDATE);
    case DT_DBTIME:
      return sizeof(DBTIME);
    case DT_DBTIMESTAMP:
      return sizeof(DBTIMESTAMP);
    default:
      return 0;
  }
}

}  // namespace

ColumnModel MakeColumnModel(const FieldSpec& field) {
  ColumnModel column;
  column.name = field.name;
  column.field = field.type;
  column.dataType = field.type.type;
  switch (field.type.type) {
    case DT_STR:
      column.length = static_cast<int32_t>(field.type.length);
      column.codePage = kStrCodePage;
      column.valueBytes = field.type.length + 1;
      column.recordBytes = field.type.length;
      break;
    case DT_WSTR:
      column.length = static_cast<int32_t>(field.type.length);
      column.valueBytes = 2 * (field.type.length + 1);
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
      column.valueBytes = column.recordBytes = FixedValueBytes(DT_NUMERIC);
      break;
    default:
      column.valueBytes = column.recordBytes = FixedValueBytes(field.type.type);
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
