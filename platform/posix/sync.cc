// Critical sections are recursive pthread mutexes. Events are a mutex, a
// condition variable and a little bookkeeping so that they behave as Win32
// events do, not merely as a flag:
// - An auto-reset event that is Set while threads wait releases exactly one of
//   them and stays non-signalled, even if several Sets come before any woken
//   thread runs: each such Set hands a grant to one blocked waiter, and only
//   a Set with no ungranted waiter leaves the event signalled.
// - A manual-reset event releases every thread waiting at the moment of Set,
//   even when Reset follows at once: waiters watch a generation count that
//   each Set advances, not only the signalled flag.
// SignalAndWait registers the caller as a waiter on `toWait` before it sets
// `toSignal`, so a Set of `toWait` made in answer to the signal finds it
// waiting. The two event locks are never held together, so two threads
// signalling each other's events cannot deadlock.
#include "platform/sync.h"

#include <pthread.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <new>

#include "platform/fault_injection.h"
#include "platform/posix/mutex.h"

namespace plat {

struct CriticalSection::Impl {
  pthread_mutex_t mutex;
  // The thread inside and how many times it entered, for AssertHeld. Written
  // only by the owner while it holds the mutex; a thread that reads owner
  // sees its own id only if it stored it and has not left since.
  std::atomic<pthread_t> owner{};
  uint32_t depth = 0;
};

CriticalSection::CriticalSection() : impl_(new Impl) {
  pthread_mutexattr_t attributes;
  pthread_mutexattr_init(&attributes);
  pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
  // Initialising a recursive mutex with valid attributes cannot fail on
  // Linux; a failure here would leave no usable lock, so stop at once.
  if (pthread_mutex_init(&impl_->mutex, &attributes) != 0) std::abort();
  pthread_mutexattr_destroy(&attributes);
}

CriticalSection::~CriticalSection() {
  pthread_mutex_destroy(&impl_->mutex);
  delete impl_;
}

void CriticalSection::Enter() {
  pthread_mutex_lock(&impl_->mutex);
  if (impl_->depth++ == 0) impl_->owner.store(pthread_self(), std::memory_order_relaxed);
}

void CriticalSection::Leave() {
  if (--impl_->depth == 0) impl_->owner.store(pthread_t{}, std::memory_order_relaxed);
  pthread_mutex_unlock(&impl_->mutex);
}

void CriticalSection::AssertHeld() const {
  if (!pthread_equal(impl_->owner.load(std::memory_order_relaxed), pthread_self())) std::abort();
}

struct EventObject {
  explicit EventObject(bool manual, bool signaled) : manualReset(manual), signaled(signaled) {}

  Mutex mutex;
  CondVar changed;
  const bool manualReset;
  bool signaled GUARDED_BY(mutex);
  // Auto-reset: threads blocked in a wait, and releases handed to them by Set
  // that they have not yet taken. waiters - grants are still unreleased.
  uint32_t waiters GUARDED_BY(mutex) = 0;
  uint32_t grants GUARDED_BY(mutex) = 0;
  // Manual-reset: advanced by every Set.
  uint64_t generation GUARDED_BY(mutex) = 0;
};

namespace {

// A wait that has been registered but not yet finished.
struct PendingWait {
  bool alreadySignaled = false;
  uint64_t generation = 0;
};

PendingWait RegisterWait(EventObject* event) REQUIRES(event->mutex) {
  PendingWait wait;
  if (event->signaled) {
    if (!event->manualReset) event->signaled = false;
    wait.alreadySignaled = true;
  } else if (event->manualReset) {
    wait.generation = event->generation;
  } else {
    ++event->waiters;
  }
  return wait;
}

// Whether a registered wait has been released by a Set.
bool Released(const EventObject* event, const PendingWait& wait) REQUIRES(event->mutex) {
  return event->manualReset ? event->signaled || event->generation != wait.generation
                            : event->grants > 0;
}

// `wait` came from RegisterWait on the event.
WaitResult FinishWait(EventObject* event, const PendingWait& wait, uint32_t timeoutMs)
    REQUIRES(event->mutex) {
  if (wait.alreadySignaled) return WaitResult::kSignaled;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  bool ok = true;
  while (!Released(event, wait)) {
    if (timeoutMs == kInfinite) {
      event->changed.Wait(event->mutex);
    } else if (!event->changed.WaitUntil(event->mutex, deadline)) {
      ok = Released(event, wait);
      break;
    }
  }
  if (!event->manualReset) {
    --event->waiters;
    if (ok) --event->grants;
  }
  if (ok) return WaitResult::kSignaled;
  SetLastError(WAIT_TIMEOUT);
  return WaitResult::kTimeout;
}

}  // namespace

EventHandle CreateEvent(bool manualReset, bool initiallySignaled) {
  if (ShouldFail(FaultSite::kEventCreate)) return nullptr;
  auto* event = new (std::nothrow) EventObject(manualReset, initiallySignaled);
  if (event == nullptr) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return event;
}

void CloseEvent(EventHandle event) {
  delete event;
}

bool SetEvent(EventHandle event) {
  if (event == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  MutexLock lock(event->mutex);
  if (event->manualReset) {
    event->signaled = true;
    ++event->generation;
    event->changed.NotifyAll();
  } else if (event->waiters > event->grants) {
    ++event->grants;
    event->changed.NotifyOne();
  } else {
    event->signaled = true;
  }
  return true;
}

bool ResetEvent(EventHandle event) {
  if (event == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  MutexLock lock(event->mutex);
  event->signaled = false;
  return true;
}

WaitResult WaitForEvent(EventHandle event, uint32_t timeoutMs) {
  if (event == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WaitResult::kFailed;
  }
  MutexLock lock(event->mutex);
  const PendingWait wait = RegisterWait(event);
  return FinishWait(event, wait, timeoutMs);
}

WaitResult SignalAndWait(EventHandle toSignal, EventHandle toWait, uint32_t timeoutMs) {
  if (toSignal == nullptr || toWait == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WaitResult::kFailed;
  }
  if (toSignal == toWait) {
    // Waiting on the event just signalled: it is either consumed at once
    // (auto-reset) or stays signalled (manual-reset).
    SetEvent(toSignal);
    return WaitForEvent(toWait, timeoutMs);
  }
  PendingWait wait;
  {
    MutexLock lock(toWait->mutex);
    wait = RegisterWait(toWait);
  }
  SetEvent(toSignal);
  MutexLock lock(toWait->mutex);
  return FinishWait(toWait, wait, timeoutMs);
}

}  // namespace plat
