// The buffer manager: the buffer types of a pipeline, their layouts, and the
// making of pipeline buffers. Handles of buffer types start at 1 (0 means
// "not laid out"). Every buffer holds at most `maxRows` rows and, as far as
// a row fits, `maxBytes` bytes (10,000 rows and 10 MiB by default).
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "host/buffer_layout.h"
#include "host/com_object.h"
#include "host/pipeline_buffer.h"

namespace host {

struct BufferLimits {
  uint32_t maxRows = 10000;
  uint32_t maxBytes = 10u << 20;
};

class BufferManager : public ComObject<IDTSBufferManager90> {
 public:
  BufferManager() = default;

  // Unknown buffer type or lineage ID: DTS_E_ELEMENTNOTFOUND.
  HRESULT STDMETHODCALLTYPE FindColumnByLineageID(int32_t bufferType, int32_t lineageID,
                                int32_t* columnIndex) override;
  // Unknown buffer type or column index: DTS_E_ELEMENTNOTFOUND.
  HRESULT STDMETHODCALLTYPE GetColumnInfo(int32_t bufferType, int32_t columnIndex, BufferColumnInfo* info) override;
  // Unknown buffer type: DTS_E_ELEMENTNOTFOUND.
  HRESULT STDMETHODCALLTYPE GetRowWidth(int32_t bufferType, uint32_t* rowWidth) override;

  // Lays out a new buffer type (see BufferLayout::Compute for failures).
  HRESULT AddBufferType(const std::vector<LayoutColumn>& columns, LayoutOrder order,
                        int32_t* bufferType);
  // Null for an unknown handle.
  std::shared_ptr<const BufferLayout> Layout(int32_t bufferType) const;

  void SetLimits(BufferLimits limits);
  BufferLimits Limits() const;
  // Rows per buffer of that layout: min(maxRows, maxBytes / row width), at least 1.
  uint32_t RowsPerBuffer(const BufferLayout& layout) const;

  // Null for an unknown handle or when memory runs out. `sink` outlives the buffer.
  ComPtr<PipelineBuffer> CreateInputBuffer(int32_t bufferType) const;
  ComPtr<PipelineBuffer> CreateOutputBuffer(int32_t bufferType, RowSink* sink) const;

 private:
  ComPtr<PipelineBuffer> CreateBuffer(int32_t bufferType, PipelineBuffer::Kind kind,
                                      RowSink* sink) const;

  mutable std::mutex mutex_;
  std::vector<std::shared_ptr<const BufferLayout>> types_;  // GUARDED_BY(mutex_)
  BufferLimits limits_;                                     // GUARDED_BY(mutex_)
};

}  // namespace host
