// Where the final merge delivers the sorted rows. The engine knows nothing of
// the host's output buffer: the component implements this interface and lays
// each stored row out as its output requires.
#pragma once

#include <cstdint>

#include "platform/com_types.h"

class SortedRowSink {
 public:
  virtual ~SortedRowSink() = default;
  // Before the first row of a final merge.
  virtual HRESULT BeginRows() = 0;
  // One stored row (RowWidth bytes, the input's layout), in key order. The
  // row is valid only during the call. A failure ends the final merge, which
  // then fails the sort.
  virtual HRESULT PutRow(const uint8_t* row) = 0;
  // After the last row, or after a failure; always paired with BeginRows.
  virtual void EndRows() = 0;
};
