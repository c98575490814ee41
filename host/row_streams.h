// Where a pipeline's rows come from and where they go: the RowSource that
// fills input buffers, and two general helpers, a source that builds rows
// with a callback and a sink that keeps copies of every output row.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "host/buffer_layout.h"
#include "host/pipeline_buffer.h"

namespace host {

// Produces the rows of an input, one buffer at a time, on the runner's
// source thread. Rows are laid out as buffer.Layout() says; column i of the
// layout is upstream column i.
class RowSource {
 public:
  virtual ~RowSource() = default;
  // Fills the empty `buffer` with up to buffer.Capacity() rows (AppendRow).
  // Sets *endOfRowset when no rows follow; the buffer is then the last of
  // the input (it may hold rows, or none). A failure ends the input.
  virtual HRESULT Fill(PipelineBuffer& buffer, bool* endOfRowset) = 0;
};

// Makes `rowCount` rows by calling `fill(index, row, layout)` for each
// zeroed row. With `emptyLastBuffer`, the rows are followed by an empty
// buffer flagged end of rowset; otherwise the buffer with the last row is
// flagged (a source of no rows gives one empty flagged buffer either way).
class CallbackSource : public RowSource {
 public:
  using FillRow = std::function<void(uint64_t index, uint8_t* row, const BufferLayout& layout)>;
  CallbackSource(uint64_t rowCount, FillRow fill, bool emptyLastBuffer = false);

  HRESULT Fill(PipelineBuffer& buffer, bool* endOfRowset) override;

 private:
  const uint64_t rowCount_;
  const FillRow fill_;
  const bool emptyLastBuffer_;
  uint64_t next_ = 0;
};

// Keeps a copy of every row it receives, in order, and what it saw of the
// blocks. Not for data larger than memory.
class CollectingSink : public RowSink {
 public:
  HRESULT Consume(const RowBlock& block) override;

  // The output layout (null before the first block).
  const BufferLayout* Layout() const { return layout_.get(); }
  size_t RowCount() const { return rows_.size(); }
  const uint8_t* Row(size_t index) const { return rows_[index].data(); }
  // Rows per block received, in order.
  const std::vector<uint32_t>& BlockSizes() const { return blockSizes_; }
  // True when the last block received was flagged end of rowset.
  bool Ended() const { return ended_; }
  // Blocks received after one flagged end of rowset (a fault upstream).
  uint32_t BlocksAfterEnd() const { return blocksAfterEnd_; }

 private:
  std::unique_ptr<BufferLayout> layout_;
  std::vector<std::vector<uint8_t>> rows_;
  std::vector<uint32_t> blockSizes_;
  bool ended_ = false;
  uint32_t blocksAfterEnd_ = 0;
};

}  // namespace host
