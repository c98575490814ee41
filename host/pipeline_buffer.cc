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

PipelineBuffer::~PipelineBuffer() {
  std::lock_guard sinkLock(sinkMutex_);
  StopSinkThread(false);
}

std::unique_lock<std::mutex> PipelineBuffer::LockInput() const {
  return kind_ == Kind::kInput ? std::unique_lock(mutex_) : std::unique_lock<std::mutex>();
}

HRESULT STDMETHODCALLTYPE PipelineBuffer::Open() {
  std::lock_guard lock(mutex_);
  ++openCount_;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE PipelineBuffer::Close() {
  std::lock_guard lock(mutex_);
  if (openCount_ == 0) return E_UNEXPECTED;
  --openCount_;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE PipelineBuffer::get_EndOfRowset(VARIANT_BOOL* endOfRowset) {
  if (endOfRowset == nullptr) return E_POINTER;
  *endOfRowset = EndOfRowset() ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE PipelineBuffer::get_RowCount(uint32_t* rowCount) {
  if (rowCount == nullptr) return E_POINTER;
  *rowCount = RowCount();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE PipelineBuffer::GetRowData(int32_t row, uint32_t* rowWidth, uint8_t** rowData) {
  if (rowWidth == nullptr || rowData == nullptr) return E_POINTER;
  std::unique_lock lock = LockInput();
  if (row < 0 || static_cast<uint32_t>(row) >= rowCount_) return DTS_E_ELEMENTNOTFOUND;
  *rowWidth = layout_->RowWidth();
  *rowData = Row(static_cast<uint32_t>(row));
  return S_OK;
}

HRESULT STDMETHODCALLTYPE PipelineBuffer::AddRow(uint8_t** rowData) {
  if (rowData == nullptr) return E_POINTER;
  *rowData = nullptr;
  if (kind_ != Kind::kOutput) return E_UNEXPECTED;
  HRESULT stop = stop_.load(std::memory_order_acquire);
  if (FAILED(stop)) return stop;
  if (rowCount_ == capacity_) {
    HRESULT hr = HandOverFull();
    if (FAILED(hr)) return hr;
  }
  uint8_t* row = Row(rowCount_++);
  std::memset(row, 0, layout_->RowWidth());
  rowsAdded_.store(rowsAdded_.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
  *rowData = row;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE PipelineBuffer::SetEndOfRowset() {
  if (kind_ != Kind::kOutput) return E_UNEXPECTED;
  HRESULT stop = stop_.load(std::memory_order_acquire);
  if (FAILED(stop)) return stop;
  std::lock_guard sinkLock(sinkMutex_);
  StopSinkThread(true);  // Every earlier block reaches the sink first.
  RowSink* sink = nullptr;
  {
    std::lock_guard lock(mutex_);
    if (detached_) return E_UNEXPECTED;
    if (FAILED(sinkFailure_)) return sinkFailure_;
    sink = sink_;
  }
  HRESULT hr = Deliver(sink, storage_.data(), rowCount_, true);
  rowCount_ = 0;
  if (FAILED(hr)) return hr;
  std::lock_guard lock(mutex_);
  endOfRowset_ = true;
  stop_.store(E_UNEXPECTED, std::memory_order_release);
  return S_OK;
}

HRESULT PipelineBuffer::HandOverFull() {
  std::unique_lock lock(mutex_);
  if (detached_) return E_UNEXPECTED;
  if (FAILED(sinkFailure_)) return sinkFailure_;
  if (!sparesMade_) {
    // Made at the first hand-over: an output that fits one block needs none.
    HRESULT hr = NoThrow([&] {
      queued_.reserve(kOutputBlocks);
      spare_.reserve(kOutputBlocks);
      while (spare_.size() + 1 < kOutputBlocks) spare_.emplace_back(storage_.size());
      return S_OK;
    });
    if (FAILED(hr)) {
      RecordFailureLocked(hr);
      return hr;
    }
    sparesMade_ = true;
  }
  if (sinkThread_ == nullptr) {
    sinkThread_ = plat::CreateThread(&PipelineBuffer::SinkThread, this);
    if (sinkThread_ == nullptr) {
      HRESULT hr = plat::HResultFromLastError();
      RecordFailureLocked(hr);
      return hr;
    }
  }
  // Never reallocates: at most kOutputBlocks - 1 blocks are ever queued.
  queued_.push_back(FullBlock{std::move(storage_), rowCount_});
  rowCount_ = 0;
  changed_.notify_all();
  // The sink thread gives every block back, consumed or dropped, before it ends.
  changed_.wait(lock, [this] { return !spare_.empty(); });
  storage_ = std::move(spare_.back());
  spare_.pop_back();
  return sinkFailure_;
}

uint32_t PipelineBuffer::SinkThread(void* argument) {
  static_cast<PipelineBuffer*>(argument)->RunSink();
  return 0;
}

void PipelineBuffer::RunSink() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return !queued_.empty() || quit_; });
    if (queued_.empty()) return;
    FullBlock block = std::move(queued_.front());
    queued_.erase(queued_.begin());
    if (SUCCEEDED(sinkFailure_) && !dropQueued_) {
      RowSink* sink = sink_;
      lock.unlock();
      Deliver(sink, block.rows.data(), block.rowCount, false);
      lock.lock();
    }
    spare_.push_back(std::move(block.rows));  // Within the capacity reserved by HandOverFull.
    changed_.notify_all();
  }
}

HRESULT PipelineBuffer::Deliver(RowSink* sink, const uint8_t* rows, uint32_t rowCount,
                                bool endOfRowset) {
  RowBlock block{layout_.get(), rows, rowCount, endOfRowset};
  HRESULT hr = sink ? sink->Consume(block) : S_OK;
  std::lock_guard lock(mutex_);
  if (FAILED(hr)) {
    RecordFailureLocked(hr);
    return hr;
  }
  ++blocksHandedOver_;
  rowsHandedOver_ += rowCount;
  return S_OK;
}

void PipelineBuffer::RecordFailureLocked(HRESULT hr) {
  if (FAILED(sinkFailure_)) return;
  sinkFailure_ = hr;
  HRESULT running = S_OK;  // A detached or ended buffer keeps answering E_UNEXPECTED.
  stop_.compare_exchange_strong(running, hr, std::memory_order_release);
}

void PipelineBuffer::StopSinkThread(bool drain) {
  plat::ThreadHandle thread = nullptr;
  {
    std::lock_guard lock(mutex_);
    thread = sinkThread_;
    if (thread == nullptr) return;
    quit_ = true;
    dropQueued_ = !drain;
    changed_.notify_all();
  }
  plat::JoinThread(thread);
  plat::CloseThread(thread);
  std::lock_guard lock(mutex_);
  sinkThread_ = nullptr;
  quit_ = false;
  dropQueued_ = false;
}

uint32_t PipelineBuffer::RowCount() const {
  std::unique_lock lock = LockInput();
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
  return rowsAdded_.load(std::memory_order_relaxed);
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
  std::lock_guard sinkLock(sinkMutex_);
  {
    std::lock_guard lock(mutex_);
    detached_ = true;
    stop_.store(E_UNEXPECTED, std::memory_order_release);
  }
  StopSinkThread(true);  // Blocks already handed over still reach the sink.
  std::lock_guard lock(mutex_);
  sink_ = nullptr;
}

int32_t PipelineBuffer::OpenCount() const {
  std::lock_guard lock(mutex_);
  return openCount_;
}

}  // namespace host
