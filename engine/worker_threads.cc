// The worker threads, the spill thread and the work items that drive them.
#include <new>

#include "engine/engine_limits.h"
#include "engine/sort_engine.h"

namespace {

// Handed to each worker by StartThreads; the worker frees it first thing.
struct WorkerStart {
  uint32_t Index;
  SortEngine* Engine;
};

}  // namespace

HRESULT SortEngine::StartThreads() {
  WorkerThreads = new (std::nothrow) plat::ThreadHandle[ThreadCount]();
  if (!WorkerThreads) return E_OUTOFMEMORY;
  for (uint32_t i = 0; i < ThreadCount; ++i) {
    auto* start = new (std::nothrow) WorkerStart{i, this};
    if (!start) return E_OUTOFMEMORY;
    WorkerThreads[i] = plat::CreateThread(&SortEngine::SortWorkerMain, start);
    if (!WorkerThreads[i]) {
      const HRESULT hr = plat::HResultFromLastError();
      delete start;
      return hr;
    }
  }
  SpillThread = plat::CreateThread(&SortEngine::SpillThreadMain, this);
  if (!SpillThread) return plat::HResultFromLastError();
  return S_OK;
}

// Ends and joins every engine thread. Threads whose Stop item or wake cannot
// be delivered see StopRequested at their next poll, so the joins always
// return.
void SortEngine::StopThreads() {
  StopRequested = true;
  if (WorkerThreads) {
    for (uint32_t i = 0; i < ThreadCount; ++i) {
      if (WorkerThreads[i]) PostWork(kStop);
    }
    for (uint32_t i = 0; i < ThreadCount; ++i) {
      if (!WorkerThreads[i]) continue;
      plat::JoinThread(WorkerThreads[i]);
      plat::CloseThread(WorkerThreads[i]);
      WorkerThreads[i] = nullptr;
    }
    delete[] WorkerThreads;
    WorkerThreads = nullptr;
  }
  if (SpillThread) {
    plat::SetEvent(SpillWakeEvent);
    plat::JoinThread(SpillThread);
    plat::CloseThread(SpillThread);
    SpillThread = nullptr;
  }
}

bool SortEngine::PostWork(WorkKey key, SortRun* batch) {
  return plat::PostCompletion(CompletionPort, 0, key, batch);
}

uint32_t SortEngine::SortWorkerMain(void* startRecord) {
  auto* start = static_cast<WorkerStart*>(startRecord);
  const uint32_t index = start->Index;
  SortEngine* engine = start->Engine;
  delete start;
  plat::SetCurrentThreadAffinity(index % plat::ProcessorCount());

  for (;;) {
    uint32_t bytes = 0;
    uintptr_t key = 0;
    void* pointer = nullptr;
    if (!plat::GetCompletion(engine->CompletionPort, &bytes, &key, &pointer, kStopPollMs)) {
      if (plat::GetLastError() == WAIT_TIMEOUT && !engine->StopRequested) continue;
      return 0;
    }
    switch (key) {
      case kStop:
        return 0;
      case kBatch:
        engine->SortBatch(static_cast<SortRun*>(pointer));
        break;
      case kMerge:
        engine->OnMerge();
        break;
      case kEndOfInput:
        engine->OnEndOfInput();
        break;
      default:
        break;  // Unknown items are ignored.
    }
  }
}

// A Merge item: merge what can be merged and, once the input has ended and
// nothing is left in flight, run the final merge. A follow-up item that
// cannot be posted is handled here instead, so that no check is ever lost.
void SortEngine::OnMerge() {
  for (;;) {
    const bool merged = MergeMemoryRuns();
    if (InputEnded) {
      plat::Lock spillLock(SpillLock);
      plat::Lock listLock(RunListLock);
      if (InputEnded && MergesInProgress == 0 && PendingBatches.Empty()) {
        FinalMerge();
        InputEnded = false;
        plat::SetEvent(SortDoneEvent);
      }
    }
    if (!merged || PostWork(kMerge)) return;
  }
}

void SortEngine::OnEndOfInput() {
  {
    plat::Lock spillLock(SpillLock);
    plat::Lock listLock(RunListLock);
    InputEnded = true;
  }
  if (!PostWork(kMerge)) OnMerge();
}

uint32_t SortEngine::SpillThreadMain(void* enginePointer) {
  auto* engine = static_cast<SortEngine*>(enginePointer);
  plat::SetCurrentThreadAffinity(engine->ThreadCount % plat::ProcessorCount());
  for (;;) {
    const plat::WaitResult wait = plat::WaitForEvent(engine->SpillWakeEvent, kStopPollMs);
    if (engine->StopRequested || wait == plat::WaitResult::kFailed) return 0;
    if (wait == plat::WaitResult::kSignaled) engine->RunSpillPass();
  }
}

// Spills runs until the free budget is back at the low-memory mark, the input
// has ended, or nothing more can be written (no run in memory and none on
// its way, or a spill failed): a target that cannot be reached still ends
// the pass, and every pass ends by setting MemoryFreedEvent, so CopyBatch
// never waits for ever. Then, with the input thread released, merges runs on
// disk so that their number stays bounded while input arrives.
void SortEngine::RunSpillPass() {
  {
    plat::Lock spillLock(SpillLock);
    for (;;) {
      bool wroteRun = false;
      RecordFailure(SpillOneRun(&wroteRun));
      if (!wroteRun || FreeBudget() >= LowMemoryMark() || InputEnded) break;
    }
    SpillWakePending = false;
  }
  plat::SetEvent(MemoryFreedEvent);
  plat::Lock spillLock(SpillLock);
  if (!InputEnded) RecordFailure(MergeDiskRunsWhileInputArrives());
}
