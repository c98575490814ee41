// The engine's threads: ThreadCount workers that take work items from a
// completion port, one spill thread woken by an event, and the events that
// pass word between them and the input thread. The pool knows nothing of
// runs: each work item and each spill wake is one call into PoolWork.
#pragma once

#include <atomic>
#include <cstdint>

#include "engine/sort_run.h"
#include "platform/com_types.h"
#include "platform/completion_port.h"
#include "platform/sync.h"
#include "platform/thread.h"

// The engine's side of the work; called on the pool's threads.
class PoolWork {
 public:
  virtual void SortBatch(SortRun* batch) = 0;
  virtual void OnMerge() = 0;
  virtual void OnEndOfInput() = 0;
  virtual void RunSpillPass() = 0;

 protected:
  ~PoolWork() = default;
};

class WorkerPool {
 public:
  // Completion keys of the work items; a worker ignores any other key.
  enum WorkKey : uintptr_t { kStop = 0, kBatch = 1, kMerge = 2, kEndOfInput = 3 };

  explicit WorkerPool(PoolWork* work) : work_(work) {}
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  // The completion port, the events, then the threads. On failure what was
  // made stays until Stop.
  HRESULT Start(uint32_t threadCount);
  bool Running() const { return completionPort_ != nullptr; }
  // Ends and joins every thread, then closes the port and the events. Safe
  // when nothing was started, and more than once.
  void Stop();
  bool StopRequested() const { return stopRequested_; }
  bool PostWork(WorkKey key, SortRun* batch = nullptr);

  // The input thread's wait for a spill pass that starts after this call.
  // False when the wait failed (the last error says why).
  bool WakeSpillAndWait();
  // Wakes the spill thread without waiting, unless such a wake is pending.
  void WakeSpillEarly();
  // A spill pass is over: the next early wake signals again.
  void ClearEarlyWake() { spillWakePending_ = false; }
  void SignalMemoryFreed() { plat::SetEvent(memoryFreedEvent_); }
  void SignalMergeDone() { plat::SetEvent(mergeDoneEvent_); }
  void WaitForMergeDone(uint32_t ms) { plat::WaitForEvent(mergeDoneEvent_, ms); }
  void SignalSortDone() { plat::SetEvent(sortDoneEvent_); }
  // False when the wait failed (the last error says why).
  bool WaitForSortDone() {
    return plat::WaitForEvent(sortDoneEvent_) == plat::WaitResult::kSignaled;
  }

 private:
  static uint32_t WorkerMain(void* startRecord);
  static uint32_t SpillThreadMain(void* pool);
  HRESULT StartThreads();

  PoolWork* const work_;
  uint32_t threadCount_ = 0;
  plat::PortHandle completionPort_ = nullptr;
  plat::ThreadHandle* workers_ = nullptr;  // threadCount_ entries.
  plat::ThreadHandle spillThread_ = nullptr;
  // Auto-reset. spillWakeEvent_ wakes the spill thread; memoryFreedEvent_ ends a pass
  // (and releases an input thread that waits); sortDoneEvent_ ends the final
  // merge; mergeDoneEvent_ tells a spill that waits for a larger run that a merge
  // has finished.
  plat::EventHandle spillWakeEvent_ = nullptr;
  plat::EventHandle memoryFreedEvent_ = nullptr;
  plat::EventHandle sortDoneEvent_ = nullptr;
  plat::EventHandle mergeDoneEvent_ = nullptr;
  std::atomic<bool> spillWakePending_{false};
  std::atomic<bool> stopRequested_{false};
};
