// Random values of every column type, as the text that the type's codec
// reads, for generated test data.
#pragma once

#include <string>

#include "tools/columns/column_model.h"
#include "tools/text/random_source.h"

namespace tolvarine {

// A value that fits the column. `fullWidth` makes bytes(n) values exactly n
// bytes long (fixed records hold no shorter ones).
std::string RandomValueText(const ColumnModel& column, bool fullWidth, RandomSource* random);

}  // namespace tolvarine
