// How one column of the command's input is carried through the pipeline:
// its data type properties as the host declares them, and the bytes its value
// takes in a row and in a fixed-width record.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/columns/field_list.h"

namespace tolvarine {

// The code page declared for str(n) columns: their bytes are Windows-1252.
constexpr int32_t kStrCodePage = 1252;

struct ColumnModel {
  std::string name;
  FieldType field;
  // The values handed to the host's SetDataTypeProperties.
  int32_t dataType = DT_EMPTY;
  int32_t length = 0;
  int32_t precision = 0;
  int32_t scale = 0;
  int32_t codePage = 0;
  // Bytes of the value in a row: str(n) and wstr(n) hold n characters and
  // their terminating NUL, bytes(n) up to n bytes with a separate length.
  uint32_t valueBytes = 0;
  // Bytes of the field in a fixed-width record: strings without their NUL.
  uint32_t recordBytes = 0;
};

ColumnModel MakeColumnModel(const FieldSpec& field);
std::vector<ColumnModel> MakeColumnModels(const std::vector<FieldSpec>& fields);

// Sum of the columns' record widths.
uint32_t RecordWidth(const std::vector<ColumnModel>& columns);

}  // namespace tolvarine
