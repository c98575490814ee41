#include "tools/commands/component_limits.h"

#include "host/buffer_layout.h"
#include "interfaces/component_interfaces.h"
#include "tools/commands/sort_progress.h"

namespace tolvarine {
namespace {

// What the component reports for comparison flags string comparison does not define.
constexpr HRESULT kInvalidFlags = HRESULT_FROM_WIN32(1004);  // ERROR_INVALID_FLAGS

std::string RowTooWideMessage(uint64_t rowWidth) {
  return "a row of these columns takes " + FormatCount(rowWidth) +
         " bytes in the pipeline's buffers, more than the sort component's limit of 1 MiB (" +
         FormatCount(kComponentMaxRowWidth) + " bytes); use narrower types in --schema";
}

}  // namespace

std::optional<uint64_t> InputRowWidth(const std::vector<ColumnModel>& columns) {
  std::vector<host::LayoutColumn> layoutColumns;
  layoutColumns.reserve(columns.size());
  int32_t lineageID = 0;
  for (const ColumnModel& column : columns) {
    layoutColumns.push_back({++lineageID, column.dataType, column.length, column.precision,
                             column.scale, column.codePage});
  }
  // The input buffer's order, as the runner lays it out.
  host::BufferLayout layout;
  if (FAILED(
          host::BufferLayout::Compute(layoutColumns, host::LayoutOrder::kColumnOrder, &layout))) {
    return std::nullopt;
  }
  return layout.RowWidth();
}

std::optional<Refusal> DescribeComponentRefusal(HRESULT hr, uint64_t rowWidth) {
  if (hr == kInvalidFlags) {
    return Refusal{"a key's comparison flags are not defined for string comparison", true};
  }
  if (hr == TOLVARINE_E_ROWTOOWIDE) return Refusal{RowTooWideMessage(rowWidth), false};
  if (hr == TOLVARINE_E_COLUMNMISMATCH) {
    return Refusal{"the sort component's output columns do not mirror its input columns", false};
  }
  return std::nullopt;
}

}  // namespace tolvarine
