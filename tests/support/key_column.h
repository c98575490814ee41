// The column choice that makes an upstream column a sort key of the
// Tolvarine component, for tests that drive it through the pipeline runner.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "host/pipeline_runner.h"
#include "interfaces/property_names.h"

inline host::ColumnChoice KeyColumn(size_t upstreamIndex, int32_t sortKeyPosition,
                                    std::optional<int32_t> comparisonFlags = {}) {
  host::ColumnChoice choice{.upstreamIndex = upstreamIndex};
  choice.properties.push_back({kNewSortKeyPositionProperty, sortKeyPosition});
  if (comparisonFlags) choice.properties.push_back({kNewComparisonFlagsProperty, *comparisonFlags});
  return choice;
}
