#include "host/row_streams.h"

#include <utility>

namespace host {

CallbackSource::CallbackSource(uint64_t rowCount, FillRow fill, bool emptyLastBuffer)
    : rowCount_(rowCount), fill_(std::move(fill)), emptyLastBuffer_(emptyLastBuffer) {}

HRESULT CallbackSource::Fill(PipelineBuffer& buffer, bool* endOfRowset) {
  while (next_ < rowCount_) {
    uint8_t* row = buffer.AppendRow();
    if (row == nullptr) break;
    fill_(next_++, row, buffer.Layout());
  }
  // With emptyLastBuffer the end is announced only by a buffer of no rows.
  *endOfRowset = next_ == rowCount_ && (!emptyLastBuffer_ || buffer.RowCount() == 0);
  return S_OK;
}

HRESULT CollectingSink::Consume(const RowBlock& block) {
  return NoThrow([&] {
    if (ended_) ++blocksAfterEnd_;
    if (!layout_) layout_ = std::make_unique<BufferLayout>(*block.layout);
    blockSizes_.push_back(block.rowCount);
    for (uint32_t i = 0; i < block.rowCount; ++i) {
      const uint8_t* row = block.Row(i);
      rows_.emplace_back(row, row + block.layout->RowWidth());
    }
    ended_ = block.endOfRowset;
    return S_OK;
  });
}

}  // namespace host
