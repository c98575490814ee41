#include "host/pipeline_buffer.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace host {

PipelineBuffer::PipelineBuffer(Kind kind, std::shared_ptr<const BufferLayout> layout,
                               uint32_t capacity, RowSink* sink)
    : kind_(kind),
      layout_(std::move(layout)),
      capacity_(std::max<uint32_t>(capacity, 1)),
      sink_(sink),
      storage_(size_t{capacity_} * layout_->RowWidth()) {}

HRESULT PipelineBuffer::Open() {
  std::lock_guard lock(mutex_);
  ++openCount_;
  return S_OK;
}

HRESULT PipelineBuffer::Close() {
  std::lock_guard lock(mutex_);
  if (openCount_ == 0) return E_UNEXPECTED;
  --openCount_;
  return S_OK;
}

HRESULT PipelineBuffer::get_EndOfRowset(VARIANT_BOOL* endOfRowset) {
  if (endOfRowset == nullptr) return E_POINTER;
  *endOfRowset = EndOfRowset() ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

HRESULT PipelineBuffer::get_RowCount(uint32_t* rowCount) {
  if (rowCount == nullptr) return E_POINTER;
  *rowCount = RowCount();
  return S_OK;
}

HRESULT PipelineBuffer::GetRowData(int32_t row, uint32_t* rowWidth, uint8_t** rowData) {
  if (rowWidth == nullptr || rowData == nullptr) return E_POINTER;
  std::lock_guard lock(mutex_);
  if (row < 0 || static_cast<uint32_t>(row) >= rowCount_) return DTS_E_ELEMENTNOTFOUND;
  *rowWidth = layout_->RowWidth();
  *rowData = Row(static_cast<uint32_t>(row));
  return S_OK;
}

HRESULT PipelineBuffer::AddRow(uint8_t** rowData) {
  if (rowData == nullptr) return E_POINTER;
  *rowData = nullptr;
  if (kind_ != Kind::kOutput) return E_UNEXPECTED;
  std::lock_guard lock(mutex_);
  if (endOfRowset_ || detached_) return E_UNEXPECTED;
  if (FAILED(sinkFailure_)) return sinkFailure_;
  if (rowCount_ == capacity_) {
    HRESULT hr = HandOverLocked(false);
    if (FAILED(hr)) return hr;
  }
  uint8_t* row = Row(rowCount_++);
  std::memset(row, 0, layout_->RowWidth());
  ++rowsAdded_;
  *rowData = row;
  return S_OK;
}

HRESULT PipelineBuffer::SetEndOfRowset() {
  if (kind_ != Kind::kOutput) return E_UNEXPECTED;
  std::lock_guard lock(mutex_);
  if (endOfRowset_ || detached_) return E_UNEXPECTED;
  if (FAILED(sinkFailure_)) return sinkFailure_;
  HRESULT hr = HandOverLocked(true);
  if (SUCCEEDED(hr)) endOfRowset_ = true;
  return hr;
}

HRESULT PipelineBuffer::HandOverLocked(bool endOfRowset) {
  RowBlock block{layout_.get(), storage_.data(), rowCount_, endOfRowset};
  HRESULT hr = sink_ ? sink_->Consume(block) : S_OK;
  rowCount_ = 0;
  if (FAILED(hr)) {
    sinkFailure_ = hr;
    return hr;
  }
  ++blocksHandedOver_;
  rowsHandedOver_ += block.rowCount;
  return S_OK;
}

uint32_t PipelineBuffer::RowCount() const {
  std::lock_guard lock(mutex_);
  return rowCount_;
}

bool PipelineBuffer::EndOfRowset() const {
  std::lock_guard lock(mutex_);
  return endOfRowset_;
}

uint8_t* PipelineBuffer::AppendRow() {
  std::lock_guard lock(mutex_);
  if (rowCount_ == capacity_) return nullptr;
  uint8_t* row = Row(rowCount_++);
  std::memset(row, 0, layout_->RowWidth());
  return row;
}

void PipelineBuffer::MarkEndOfRowset() {
  std::lock_guard lock(mutex_);
  endOfRowset_ = true;
}

void PipelineBuffer::Reset() {
  std::lock_guard lock(mutex_);
  rowCount_ = 0;
  endOfRowset_ = false;
}

uint64_t PipelineBuffer::RowsAdded() const {
  std::lock_guard lock(mutex_);
  return rowsAdded_;
}

uint64_t PipelineBuffer::RowsHandedOver() const {
  std::lock_guard lock(mutex_);
  return rowsHandedOver_;
}

uint32_t PipelineBuffer::BlocksHandedOver() const {
  std::lock_guard lock(mutex_);
  return blocksHandedOver_;
}

HRESULT PipelineBuffer::SinkFailure() const {
  std::lock_guard lock(mutex_);
  return sinkFailure_;
}

void PipelineBuffer::DetachSink() {
  std::lock_guard lock(mutex_);
  sink_ = nullptr;
  detached_ = true;
}

int32_t PipelineBuffer::OpenCount() const {
  std::lock_guard lock(mutex_);
  return openCount_;
}

}  // namespace host
