// Pieces the fuzz targets share: a failed property check that libFuzzer
// reports as a crash, and columns laid out in a row as the host lays them out.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "host/buffer_layout.h"
#include "tools/columns/column_model.h"

namespace fuzz {

// A property the code under test must keep; a violation ends the run so
// that libFuzzer saves the input.
inline void Require(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "fuzz property violated: %s\n", what);
  std::abort();
}

inline std::string_view AsText(const uint8_t* data, size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// Splits off the first line (without its LF); `rest` keeps what follows.
inline std::string_view TakeLine(std::string_view* rest) {
  const size_t end = rest->find('\n');
  std::string_view line = rest->substr(0, end);
  rest->remove_prefix(end == std::string_view::npos ? rest->size() : end + 1);
  return line;
}

// The columns an input is read under: its first line as a field list, taken
// off *input, or when that line is none (or too long a list) `fallback`, the
// whole input then being data.
inline std::vector<tolvarine::FieldSpec> TakeColumnList(std::string_view* input,
                                                        std::string_view fallback) {
  constexpr size_t kMaxColumns = 64;
  std::string_view rest = *input;
  std::vector<tolvarine::FieldSpec> fields;
  std::string error;
  if (tolvarine::ParseFieldList(TakeLine(&rest), &fields, &error) && fields.size() <= kMaxColumns) {
    *input = rest;
    return fields;
  }
  Require(tolvarine::ParseFieldList(fallback, &fields, &error), "the fallback list parses");
  return fields;
}

// Columns and their slots in a row. Valid only when Compute accepted them.
struct Table {
  explicit Table(std::vector<tolvarine::ColumnModel> models) : columns(std::move(models)) {
    std::vector<host::LayoutColumn> layoutColumns;
    for (size_t i = 0; i < columns.size(); ++i) {
      const tolvarine::ColumnModel& c = columns[i];
      layoutColumns.push_back(
          {int32_t(i + 1), c.dataType, c.length, c.precision, c.scale, c.codePage});
    }
    valid = host::BufferLayout::Compute(layoutColumns, host::LayoutOrder::kPacked, &layout) == S_OK;
    for (size_t i = 0; valid && i < columns.size(); ++i) slots.push_back(layout.Column(i));
  }
  std::vector<uint8_t> NewRow() const { return std::vector<uint8_t>(layout.RowWidth()); }

  std::vector<tolvarine::ColumnModel> columns;
  host::BufferLayout layout;
  std::vector<BufferColumnInfo> slots;
  bool valid = false;
};

}  // namespace fuzz
