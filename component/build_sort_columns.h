// The description of every column and of the sort key, read from the
// component's metadata and the host's buffer manager.
#pragma once

#include <vector>

#include "interfaces/pipeline_interfaces.h"
#include "keys/sort_columns.h"

// Fills `columns` (one record per output column, in output order) and `keys`
// (the key columns, ordered by OrderSortKeys) from the component's metadata
// and the buffer manager. Every output column must have its input column's
// data type and a value slot at least as large (else
// TOLVARINE_E_COLUMNMISMATCH), and the comparison flags of every string key
// must be ones its comparison accepts (else that comparison's failure). On
// failure the lists keep what was appended.
HRESULT BuildSortColumns(IDTSComponentMetaData90* metadata, IDTSBufferManager90* bufferManager,
                         std::vector<SortColumn>* columns, std::vector<SortColumn>* keys);
