#include "host/buffer_manager.h"

#include <algorithm>
#include <utility>

namespace host {

HRESULT STDMETHODCALLTYPE BufferManager::FindColumnByLineageID(int32_t bufferType, int32_t lineageID,
                                             int32_t* columnIndex) {
  if (columnIndex == nullptr) return E_POINTER;
  std::shared_ptr<const BufferLayout> layout = Layout(bufferType);
  int32_t index = layout ? layout->FindLineageID(lineageID) : -1;
  if (index < 0) return DTS_E_ELEMENTNOTFOUND;
  *columnIndex = index;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE BufferManager::GetColumnInfo(int32_t bufferType, int32_t columnIndex,
                                     BufferColumnInfo* info) {
  if (info == nullptr) return E_POINTER;
  std::shared_ptr<const BufferLayout> layout = Layout(bufferType);
  if (!layout || columnIndex < 0 || static_cast<size_t>(columnIndex) >= layout->ColumnCount()) {
    return DTS_E_ELEMENTNOTFOUND;
  }
  *info = layout->Column(static_cast<size_t>(columnIndex));
  return S_OK;
}

HRESULT STDMETHODCALLTYPE BufferManager::GetRowWidth(int32_t bufferType, uint32_t* rowWidth) {
  if (rowWidth == nullptr) return E_POINTER;
  std::shared_ptr<const BufferLayout> layout = Layout(bufferType);
  if (!layout) return DTS_E_ELEMENTNOTFOUND;
  *rowWidth = layout->RowWidth();
  return S_OK;
}

HRESULT BufferManager::AddBufferType(const std::vector<LayoutColumn>& columns, LayoutOrder order,
                                     int32_t* bufferType) {
  if (bufferType == nullptr) return E_POINTER;
  return NoThrow([&]() -> HRESULT {
    auto layout = std::make_shared<BufferLayout>();
    HRESULT hr = BufferLayout::Compute(columns, order, layout.get());
    if (FAILED(hr)) return hr;
    std::lock_guard lock(mutex_);
    types_.push_back(std::move(layout));
    *bufferType = static_cast<int32_t>(types_.size());
    return S_OK;
  });
}

std::shared_ptr<const BufferLayout> BufferManager::Layout(int32_t bufferType) const {
  std::lock_guard lock(mutex_);
  if (bufferType < 1 || static_cast<size_t>(bufferType) > types_.size()) return nullptr;
  return types_[static_cast<size_t>(bufferType) - 1];
}

void BufferManager::SetLimits(BufferLimits limits) {
  std::lock_guard lock(mutex_);
  limits_ = limits;
}

BufferLimits BufferManager::Limits() const {
  std::lock_guard lock(mutex_);
  return limits_;
}

uint32_t BufferManager::RowsPerBuffer(const BufferLayout& layout) const {
  BufferLimits limits = Limits();
  uint32_t byBytes = limits.maxBytes / layout.RowWidth();
  return std::max<uint32_t>(1, std::min(limits.maxRows, byBytes));
}

ComPtr<PipelineBuffer> BufferManager::CreateInputBuffer(int32_t bufferType) const {
  return CreateBuffer(bufferType, PipelineBuffer::Kind::kInput, nullptr);
}

ComPtr<PipelineBuffer> BufferManager::CreateOutputBuffer(int32_t bufferType, RowSink* sink) const {
  return CreateBuffer(bufferType, PipelineBuffer::Kind::kOutput, sink);
}

ComPtr<PipelineBuffer> BufferManager::CreateBuffer(int32_t bufferType, PipelineBuffer::Kind kind,
                                                   RowSink* sink) const {
  std::shared_ptr<const BufferLayout> layout = Layout(bufferType);
  if (!layout) return ComPtr<PipelineBuffer>();
  return NoThrow(
      [&] {
        const uint32_t capacity = RowsPerBuffer(*layout);
        return MakeObject<PipelineBuffer>(kind, std::move(layout), capacity, sink);
      },
      [] { return ComPtr<PipelineBuffer>(); });
}

}  // namespace host
