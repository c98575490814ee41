// Per-type comparison and copy functions of column values.
//
// Pre-execution picks the pair for each column once; the row comparison and
// the output row writer call them through function pointers, so nothing
// switches on a data type per row. Comparators never see NULL values.
#pragma once

#include <cstdint>

#include "platform/com_types.h"

// Negative: left sorts first; 0: equal; positive: right sorts first.
using ColumnComparator = int32_t (*)(const void* left, const void* right, uint32_t flags);
using ColumnCopier = void (*)(void* destination, const void* source);

// Comparison flags values with a meaning of the component's own, selected by
// equality with the whole flags value.
constexpr uint32_t CMPFLAG_ORDINAL = 16;
constexpr uint32_t CMPFLAG_ORDINAL_IGNORECASE = 32;

// The comparator and copier for a data type code and a key's comparison
// flags. DT_BYTES gives S_OK with both null (its values have a length field
// and are handled by the row comparison and the row writer); an unsupported
// code gives E_NOTIMPL and leaves both unset.
HRESULT SelectColumnFunctions(int32_t dataType, uint32_t flags, ColumnComparator* compare,
                              ColumnCopier* copy);

// Tries, once, the call that `compare`, chosen for these flags, makes per
// row: S_OK when it works or cannot fail, else the HRESULT of its failure
// (CompareString refuses undefined flags with ERROR_INVALID_FLAGS). A
// comparison that failed per row would make every pair of values equal.
HRESULT CheckComparisonFlags(ColumnComparator compare, uint32_t flags);
