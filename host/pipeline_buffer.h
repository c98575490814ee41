// Pipeline buffers: rows of one buffer type, contiguous at the row width.
//
// An input buffer is filled by the host (AppendRow) and handed to the
// component's ProcessInput; to the component it is read-only (AddRow and
// SetEndOfRowset answer E_UNEXPECTED).
//
// An output buffer is the one object a component receives from PrimeOutput
// and adds rows to for the whole rowset. AddRow appends a zeroed row (every
// status 0) and gives its address, valid until the next AddRow or
// SetEndOfRowset. When the buffer is full, the next AddRow first hands the
// full block of rows to the RowSink and starts an empty block, so a
// component can add any number of rows; SetEndOfRowset hands over the last
// block (which may be empty) flagged end of rowset. The sink runs on the
// thread that called AddRow/SetEndOfRowset, with the buffer's lock held: it
// must not call back into the buffer. A sink failure is returned by that
// AddRow/SetEndOfRowset and by every later one; the block is dropped.
//
// Open/Close count nesting (Close without Open: E_UNEXPECTED). Using a
// buffer that is not open is allowed: this host needs no mapping step.
// Row indexes outside 0..RowCount-1 answer DTS_E_ELEMENTNOTFOUND.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "host/buffer_layout.h"
#include "host/com_object.h"

namespace host {

// A block of rows handed downstream; valid only during RowSink::Consume.
struct RowBlock {
  const BufferLayout* layout = nullptr;
  const uint8_t* data = nullptr;
  uint32_t rowCount = 0;
  bool endOfRowset = false;

  const uint8_t* Row(uint32_t index) const { return data + size_t{index} * layout->RowWidth(); }
};

// Receives the rows of an output, block by block, in order.
class RowSink {
 public:
  virtual ~RowSink() = default;
  // A failure stops the output: the component's AddRow fails with it.
  virtual HRESULT Consume(const RowBlock& block) = 0;
};

class PipelineBuffer : public ComObject<IDTSBuffer90> {
 public:
  enum class Kind { kInput, kOutput };

  // `capacity` rows (at least 1); `sink` only for outputs, outliving the
  // buffer. May throw bad_alloc.
  PipelineBuffer(Kind kind, std::shared_ptr<const BufferLayout> layout, uint32_t capacity,
                 RowSink* sink);

  HRESULT Open() override;
  HRESULT Close() override;
  HRESULT get_EndOfRowset(VARIANT_BOOL* endOfRowset) override;
  HRESULT get_RowCount(uint32_t* rowCount) override;
  HRESULT GetRowData(int32_t row, uint32_t* rowWidth, uint8_t** rowData) override;
  HRESULT AddRow(uint8_t** rowData) override;
  HRESULT SetEndOfRowset() override;

  // The host's side.
  Kind GetKind() const { return kind_; }
  const BufferLayout& Layout() const { return *layout_; }
  uint32_t Capacity() const { return capacity_; }
  uint32_t RowCount() const;
  bool EndOfRowset() const;
  // Input buffers: appends a zeroed row; null when the buffer is full.
  uint8_t* AppendRow();
  // Input buffers: flags the buffer as the last of the rowset.
  void MarkEndOfRowset();
  // Input buffers: empties the buffer for reuse (clears the end flag).
  void Reset();
  // Address of a row the host filled or the component added.
  // REQUIRES: index < RowCount().
  uint8_t* Row(uint32_t index) { return storage_.data() + size_t{index} * layout_->RowWidth(); }
  // Output buffers: rows added in all, rows and blocks the sink accepted,
  // and the first sink failure (S_OK when none).
  uint64_t RowsAdded() const;
  uint64_t RowsHandedOver() const;
  uint32_t BlocksHandedOver() const;
  HRESULT SinkFailure() const;
  // Output buffers: cuts the buffer off from its sink, which may then go
  // away; later AddRow and SetEndOfRowset calls fail with E_UNEXPECTED.
  // The host calls it when an execution is over, so a component that kept
  // the buffer can never reach a sink that no longer exists.
  void DetachSink();
  // Open calls not yet matched by Close.
  int32_t OpenCount() const;

 private:
  // REQUIRES: mutex_ held.
  HRESULT HandOverLocked(bool endOfRowset);

  const Kind kind_;
  const std::shared_ptr<const BufferLayout> layout_;
  const uint32_t capacity_;
  RowSink* sink_;          // GUARDED_BY(mutex_)
  bool detached_ = false;  // GUARDED_BY(mutex_)
  mutable std::mutex mutex_;
  std::vector<uint8_t> storage_;   // capacity_ rows; GUARDED_BY(mutex_) for outputs.
  uint32_t rowCount_ = 0;          // GUARDED_BY(mutex_)
  bool endOfRowset_ = false;       // GUARDED_BY(mutex_)
  int32_t openCount_ = 0;          // GUARDED_BY(mutex_)
  uint64_t rowsAdded_ = 0;         // GUARDED_BY(mutex_)
  uint64_t rowsHandedOver_ = 0;    // GUARDED_BY(mutex_)
  uint32_t blocksHandedOver_ = 0;  // GUARDED_BY(mutex_)
  HRESULT sinkFailure_ = S_OK;     // GUARDED_BY(mutex_)
};

}  // namespace host
