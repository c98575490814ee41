// Sorting the entries of one batch into key order.
#pragma once

#include <cstdint>

#include "engine/sort_entry.h"

// Introsort on `order`: O(n log n) comparisons for every input, about one
// per entry for input already in order or in reverse order. Not stable.
void SortEntries(SortEntry* entries, uint32_t count, const RowOrder& order);
