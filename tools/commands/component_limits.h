// The messages for what the sort component refuses at pre-execution.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/com_types.h"
#include "tools/columns/column_model.h"

namespace tolvarine {

// The widest input row the component stores (TOLVARINE_E_ROWTOOWIDE beyond).
constexpr uint64_t kComponentMaxRowWidth = uint64_t{1} << 20;

// The width of an input row as the host lays it out for the component; none
// when the host refuses the columns.
std::optional<uint64_t> InputRowWidth(const std::vector<ColumnModel>& columns);

// A message for a refusal of the component's that the user can act on (its
// codes are its own, whichever step reports them), and whether it is a usage
// error; none for any other failure.
struct Refusal {
  std::string message;
  bool usage = false;
};
std::optional<Refusal> DescribeComponentRefusal(HRESULT hr, uint64_t rowWidth);

}  // namespace tolvarine
