// Lays the final merge's sorted rows out in the output buffer.
//
// Every output row holds what a column-by-column copy of the stored row
// gives: status; length when both rows have a length field; unless NULL, the
// value. A DT_BYTES value is copied for its stored length, never more than
// either slot holds, and the output length says what was copied; other
// values are copied by their column's copier. Pre-execution made sure that
// every output slot is at least as large as its input slot and holds the
// same type.
//
// When the output's layout is the stored row's layout, a row is copied whole
// instead, then corrected so that the result is the same except for the
// values of NULL columns and the bytes of a value past its end (a string's
// terminator, a DT_BYTES value's length), which nothing reads.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "engine/sorted_row_sink.h"
#include "interfaces/pipeline_interfaces.h"
#include "keys/sort_columns.h"

class OutputRowWriter final : public SortedRowSink {
 public:
  // Takes the columns (one per output column, as BuildSortColumns made them)
  // and the widths of a stored row (the input buffer's) and of an output row,
  // and decides how rows are copied. Called before any row flows, whenever
  // the columns or either layout may have changed.
  void Prepare(const std::vector<SortColumn>& columns, uint32_t inputRowWidth,
               uint32_t outputRowWidth);
  // The buffer the next rows go to; replaces (and releases) any earlier one.
  void SetBuffer(IDTSBuffer90* buffer) { buffer_.Reset(buffer); }
  // Marks the end of the output's rows and lets go of the buffer. Without a
  // buffer, E_UNEXPECTED.
  HRESULT EndRowset();
  bool CopiesWholeRows() const { return wholeRows_; }
  // Rows added since Prepare; read from any thread.
  uint64_t RowsPut() const { return rowsPut_.load(std::memory_order_relaxed); }

  // Opens the buffer; without one, E_UNEXPECTED.
  HRESULT BeginRows() override;
  // Adds a row to the buffer and fills it. A failed AddRow is returned; an
  // AddRow that gives no row is E_POINTER.
  HRESULT PutRow(const uint8_t* row) override;
  // Closes the buffer if BeginRows opened it.
  void EndRows() override;

 private:
  struct Gap {
    uint32_t offset, bytes;
  };

  void WriteColumns(const uint8_t* row, uint8_t* out) const;
  void WriteWholeRow(const uint8_t* row, uint8_t* out) const;

  ComPtr<IDTSBuffer90> buffer_;
  // Written only by the final merge's thread, so a plain load and store
  // count it: no locked add per row.
  std::atomic<uint64_t> rowsPut_{0};
  bool open_ = false;
  std::vector<SortColumn> columns_;
  bool wholeRows_ = false;
  uint32_t rowWidth_ = 0;  // Of both rows, when wholeRows_.
  // When wholeRows_: the DT_BYTES columns with a length field, whose stored
  // length may exceed the slot, and the bytes of the row that belong to no
  // column of this output (padding, or columns others fill).
  std::vector<SortColumn> clampedColumns_;
  std::vector<Gap> gaps_;
};
