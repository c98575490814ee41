// Pipeline buffers: rows of one buffer type, contiguous at the row width.
//
// An input buffer is filled by the host (AppendRow) and handed to the
// component's ProcessInput; to the component it is read-only (AddRow and
// SetEndOfRowset answer E_UNEXPECTED).
//
// An output buffer is the one object a component receives from PrimeOutput
// and adds rows to for the whole rowset. AddRow appends a zeroed row (every
// status 0) and gives its address, valid until the next AddRow or
// SetEndOfRowset. When the buffer is full, the next AddRow hands the full
// block of rows over and goes on in an empty block, so a component can add
// any number of rows; SetEndOfRowset hands over the last block (which may
// be empty) flagged end of rowset.
//
// Threads of an output buffer: AddRow, SetEndOfRowset, RowCount, GetRowData
// and Row form the filling side. They take no lock per row, so the
// component calls them from one thread at a time, each call ordered after
// the one before (its own events or locks order them when the thread
// changes, as between the merge that adds rows and the thread that ends the
// rowset). The mutex is taken only to hand a full block over.
//
// Full blocks go to the RowSink on a sink thread of the buffer's own,
// through a queue of kOutputBlocks blocks: the filling side fills the next
// block while the sink consumes the one before, and waits only when every
// block is taken. The last block is consumed on the thread that ends the
// rowset, after every earlier block, so SetEndOfRowset returns once the
// sink has seen all rows. Blocks reach the sink one at a time, in the order
// they were filled; the sink must not call back into the buffer. A sink
// failure drops the block and every later one; the filling side receives it
// from its next AddRow or SetEndOfRowset, and from every later one.
//
// Open/Close count nesting (Close without Open: E_UNEXPECTED). Using a
// buffer that is not open is allowed: this host needs no mapping step.
// Row indexes outside 0..RowCount-1 answer DTS_E_ELEMENTNOTFOUND.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "host/buffer_layout.h"
#include "host/com_object.h"
#include "platform/thread.h"

namespace host {

// A block of rows handed downstream; valid only during RowSink::Consume.
struct RowBlock {
  const BufferLayout* layout = nullptr;
  const uint8_t* data = nullptr;
  uint32_t rowCount = 0;
  bool endOfRowset = false;

  const uint8_t* Row(uint32_t index) const { return data + size_t{index} * layout->RowWidth(); }
};

// Receives the rows of an output, block by block, in order, one block at a
// time (on the buffer's sink thread, the last on the thread ending the rowset).
class RowSink {
 public:
  virtual ~RowSink() = default;
  // A failure stops the output: the component's next AddRow fails with it.
  virtual HRESULT Consume(const RowBlock& block) = 0;
};

class PipelineBuffer : public ComObject<IDTSBuffer90> {
 public:
  enum class Kind { kInput, kOutput };

  // `capacity` rows (at least 1); `sink` only for outputs, outliving the
  // buffer. May throw bad_alloc.
  PipelineBuffer(Kind kind, std::shared_ptr<const BufferLayout> layout, uint32_t capacity,
                 RowSink* sink);
  // Stops the sink thread; blocks still queued are dropped.
  ~PipelineBuffer() override;

  HRESULT STDMETHODCALLTYPE Open() override;
  HRESULT STDMETHODCALLTYPE Close() override;
  HRESULT STDMETHODCALLTYPE get_EndOfRowset(VARIANT_BOOL* endOfRowset) override;
  HRESULT STDMETHODCALLTYPE get_RowCount(uint32_t* rowCount) override;
  HRESULT STDMETHODCALLTYPE GetRowData(int32_t row, uint32_t* rowWidth, uint8_t** rowData) override;
  HRESULT STDMETHODCALLTYPE AddRow(uint8_t** rowData) override;
  HRESULT STDMETHODCALLTYPE SetEndOfRowset() override;

  // The host's side.
  Kind GetKind() const { return kind_; }
  const BufferLayout& Layout() const { return *layout_; }
  uint32_t Capacity() const { return capacity_; }
  uint32_t RowCount() const;
  bool EndOfRowset() const;
  // Input buffers: appends a zeroed row; null when the buffer is full.
  uint8_t* AppendRow();
  // Input buffers: offers `write` one zeroed row after another, in place,
  // until the buffer is full or `write` returns false; a row it returns
  // false for is not kept. Takes the buffer's lock once for all of them.
  // The rows appended.
  template <class WriteRow>
  uint32_t AppendRowsInPlace(WriteRow&& write) {
    std::lock_guard lock(mutex_);
    const uint32_t before = rowCount_;
    while (rowCount_ < capacity_) {
      uint8_t* row = Row(rowCount_);
      std::memset(row, 0, layout_->RowWidth());
      if (!write(row)) break;
      ++rowCount_;
    }
    return rowCount_ - before;
  }
  // Input buffers: flags the buffer as the last of the rowset.
  void MarkEndOfRowset();
  // Input buffers: empties the buffer for reuse (clears the end flag).
  void Reset();
  // Address of a row the host filled or the component added (of the block
  // being filled). REQUIRES: index < RowCount().
  uint8_t* Row(uint32_t index) { return storage_.data() + size_t{index} * layout_->RowWidth(); }
  // Output buffers: rows added in all, rows and blocks the sink accepted,
  // and the first sink failure (S_OK when none).
  uint64_t RowsAdded() const;
  uint64_t RowsHandedOver() const;
  uint32_t BlocksHandedOver() const;
  HRESULT SinkFailure() const;
  // Output buffers: lets the sink consume the blocks already handed over,
  // then cuts the buffer off from it, which may then go away; later AddRow
  // and SetEndOfRowset calls fail with E_UNEXPECTED. The host calls it when
  // an execution is over, so a component that kept the buffer can never
  // reach a sink that no longer exists.
  void DetachSink();
  // Open calls not yet matched by Close.
  int32_t OpenCount() const;

 private:
  // Blocks an output cycles through: one filled, the rest queued or consumed.
  static constexpr size_t kOutputBlocks = 3;

  struct FullBlock {
    std::vector<uint8_t> rows;
    uint32_t rowCount = 0;
  };

  // Locks mutex_ for an input buffer; an output's filling side needs no lock.
  std::unique_lock<std::mutex> LockInput() const;
  static uint32_t SinkThread(void* argument);
  void RunSink();
  // Queues the block being filled and takes an empty one, waiting while
  // every block is taken. REQUIRES: called from the filling side.
  HRESULT HandOverFull();
  // Consumes one block with `sink`; records its outcome.
  // REQUIRES: mutex_ not held; sinkMutex_ held, or on the sink thread.
  HRESULT Deliver(RowSink* sink, const uint8_t* rows, uint32_t rowCount, bool endOfRowset);
  // Lets the sink thread consume (or, with !drain, drop) what is queued, then
  // joins it. REQUIRES: sinkMutex_ held, mutex_ not held.
  void StopSinkThread(bool drain);
  // Records a sink failure unless one is recorded. REQUIRES: mutex_ held.
  void RecordFailureLocked(HRESULT hr);

  const Kind kind_;
  const std::shared_ptr<const BufferLayout> layout_;
  const uint32_t capacity_;
  // Held by whoever calls the sink off the sink thread or stops that thread.
  // Order: sinkMutex_ before mutex_.
  std::mutex sinkMutex_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;  // Signalled on every change of the queue.
  RowSink* sink_;                    // Written with sinkMutex_ and mutex_ held; read with either.
  bool detached_ = false;            // GUARDED_BY(mutex_)
  // The block being filled. Inputs: GUARDED_BY(mutex_). Outputs: the
  // filling side's own (see above).
  std::vector<uint8_t> storage_;
  uint32_t rowCount_ = 0;
  // S_OK while AddRow may go on, else what it returns: the sink's failure,
  // or E_UNEXPECTED once the rowset ended or the sink was detached.
  std::atomic<HRESULT> stop_{S_OK};
  std::atomic<uint64_t> rowsAdded_{0};       // Written by the filling side only.
  std::vector<FullBlock> queued_;            // Oldest first; GUARDED_BY(mutex_)
  std::vector<std::vector<uint8_t>> spare_;  // Empty blocks; GUARDED_BY(mutex_)
  bool sparesMade_ = false;                  // GUARDED_BY(mutex_)
  plat::ThreadHandle sinkThread_ = nullptr;  // GUARDED_BY(mutex_)
  bool quit_ = false;                        // GUARDED_BY(mutex_)
  bool dropQueued_ = false;                  // GUARDED_BY(mutex_)
  bool endOfRowset_ = false;                 // GUARDED_BY(mutex_)
  int32_t openCount_ = 0;                    // GUARDED_BY(mutex_)
  uint64_t rowsHandedOver_ = 0;              // GUARDED_BY(mutex_)
  uint32_t blocksHandedOver_ = 0;            // GUARDED_BY(mutex_)
  HRESULT sinkFailure_ = S_OK;               // GUARDED_BY(mutex_)
};

}  // namespace host
