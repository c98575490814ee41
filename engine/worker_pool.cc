// Starting, driving and stopping the engine's threads.
#include "engine/worker_pool.h"

#include <new>

#include "engine/engine_limits.h"

namespace {

// Handed to each worker by StartThreads; the worker frees it first thing.
struct WorkerStart {
  uint32_t Index;
  WorkerPool* Pool;
};

}  // namespace

HRESULT WorkerPool::Start(uint32_t threadCount) {
  threadCount_ = threadCount;
  stopRequested_ = false;
  spillWakePending_ = false;
  if (!(completionPort_ = plat::CreateCompletionPort(threadCount)) ||
      !(spillWakeEvent_ = plat::CreateEvent(false, false)) ||
      !(memoryFreedEvent_ = plat::CreateEvent(false, false)) ||
      !(sortDoneEvent_ = plat::CreateEvent(false, false)) ||
      !(mergeDoneEvent_ = plat::CreateEvent(false, false))) {
    return plat::HResultFromLastError();
  }
  return StartThreads();
}

HRESULT WorkerPool::StartThreads() {
  workers_ = new (std::nothrow) plat::ThreadHandle[threadCount_]();
  if (!workers_) return E_OUTOFMEMORY;
  for (uint32_t i = 0; i < threadCount_; ++i) {
    auto* start = new (std::nothrow) WorkerStart{i, this};
    if (!start) return E_OUTOFMEMORY;
    workers_[i] = plat::CreateThread(&WorkerPool::WorkerMain, start);
    if (!workers_[i]) {
      const HRESULT hr = plat::HResultFromLastError();
      delete start;
      return hr;
    }
  }
  spillThread_ = plat::CreateThread(&WorkerPool::SpillThreadMain, this);
  if (!spillThread_) return plat::HResultFromLastError();
  return S_OK;
}

// Threads whose Stop item or wake cannot be delivered see StopRequested at
// their next poll, so the joins always return. The port is closed only after
// every thread that could touch it has ended.
void WorkerPool::Stop() {
  if (completionPort_) {
    stopRequested_ = true;
    if (workers_) {
      for (uint32_t i = 0; i < threadCount_; ++i) {
        if (workers_[i]) PostWork(kStop);
      }
      for (uint32_t i = 0; i < threadCount_; ++i) {
        if (!workers_[i]) continue;
        plat::JoinThread(workers_[i]);
        plat::CloseThread(workers_[i]);
        workers_[i] = nullptr;
      }
      delete[] workers_;
      workers_ = nullptr;
    }
    if (spillThread_) {
      plat::SetEvent(spillWakeEvent_);
      plat::JoinThread(spillThread_);
      plat::CloseThread(spillThread_);
      spillThread_ = nullptr;
    }
    plat::CloseCompletionPort(completionPort_);
    completionPort_ = nullptr;
  }
  for (plat::EventHandle* event :
       {&spillWakeEvent_, &memoryFreedEvent_, &sortDoneEvent_, &mergeDoneEvent_}) {
    plat::CloseEvent(*event);
    *event = nullptr;
  }
}

bool WorkerPool::PostWork(WorkKey key, SortRun* batch) {
  return plat::PostCompletion(completionPort_, 0, key, batch);
}

bool WorkerPool::WakeSpillAndWait() {
  // The wait must be answered by a pass that ends after this wake: a pass
  // that ended earlier (an early wake nobody waited for) may have left the
  // event set.
  plat::ResetEvent(memoryFreedEvent_);
  return plat::SignalAndWait(spillWakeEvent_, memoryFreedEvent_) == plat::WaitResult::kSignaled;
}

void WorkerPool::WakeSpillEarly() {
  if (!spillWakePending_.exchange(true)) plat::SetEvent(spillWakeEvent_);
}

// Worker i is bound to processor i mod P.
uint32_t WorkerPool::WorkerMain(void* startRecord) {
  auto* start = static_cast<WorkerStart*>(startRecord);
  const uint32_t index = start->Index;
  WorkerPool* pool = start->Pool;
  delete start;
  plat::SetCurrentThreadAffinity(index % plat::ProcessorCount());

  for (;;) {
    uint32_t bytes = 0;
    uintptr_t key = 0;
    void* pointer = nullptr;
    if (!plat::GetCompletion(pool->completionPort_, &bytes, &key, &pointer, kStopPollMs)) {
      if (plat::GetLastError() == WAIT_TIMEOUT && !pool->stopRequested_) continue;
      return 0;
    }
    switch (key) {
      case kStop:
        return 0;
      case kBatch:
        pool->work_->SortBatch(static_cast<SortRun*>(pointer));
        break;
      case kMerge:
        pool->work_->OnMerge();
        break;
      case kEndOfInput:
        pool->work_->OnEndOfInput();
        break;
      default:
        break;  // Unknown items are ignored.
    }
  }
}

// Bound to processor ThreadCount mod P.
uint32_t WorkerPool::SpillThreadMain(void* poolPointer) {
  auto* pool = static_cast<WorkerPool*>(poolPointer);
  plat::SetCurrentThreadAffinity(pool->threadCount_ % plat::ProcessorCount());
  for (;;) {
    const plat::WaitResult wait = plat::WaitForEvent(pool->spillWakeEvent_, kStopPollMs);
    if (pool->stopRequested_ || wait == plat::WaitResult::kFailed) return 0;
    if (wait == plat::WaitResult::kSignaled) pool->work_->RunSpillPass();
  }
}
