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
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <new>

#include "platform/fault_injection.h"

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

  std::mutex mutex;
  std::condition_variable changed;
  const bool manualReset;
  bool signaled;
  // Auto-reset: threads blocked in a wait, and releases handed to them by Set
  // that they have not yet taken. waiters - grants are still unreleased.
  uint32_t waiters = 0;
  uint32_t grants = 0;
  // Manual-reset: advanced by every Set.
  uint64_t generation = 0;
};

namespace {

// A wait that has been registered but not yet finished.
struct PendingWait {
  bool alreadySignaled = false;
  uint64_t generation = 0;
};

// REQUIRES: event->mutex held.
PendingWait RegisterWait(EventObject* event) {
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

// REQUIRES: `lock` holds event->mutex; `wait` came from RegisterWait on it.
WaitResult FinishWait(EventObject* event, std::unique_lock<std::mutex>& lock,
                      const PendingWait& wait, uint32_t timeoutMs) {
  if (wait.alreadySignaled) return WaitResult::kSignaled;
  auto released = [&] {
    return event->manualReset ? event->signaled || event->generation != wait.generation
                              : event->grants > 0;
  };
  bool ok;
  if (timeoutMs == kInfinite) {
    event->changed.wait(lock, released);
    ok = true;
  } else {
    ok = event->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), released);
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
  std::lock_guard<std::mutex> lock(event->mutex);
  if (event->manualReset) {
    event->signaled = true;
    ++event->generation;
    event->changed.notify_all();
  } else if (event->waiters > event->grants) {
    ++event->grants;
    event->changed.notify_one();
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
  std::lock_guard<std::mutex> lock(event->mutex);
  event->signaled = false;
  return true;
}

WaitResult WaitForEvent(EventHandle event, uint32_t timeoutMs) {
  if (event == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WaitResult::kFailed;
  }
  std::unique_lock<std::mutex> lock(event->mutex);
  const PendingWait wait = RegisterWait(event);
  return FinishWait(event, lock, wait, timeoutMs);
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
  std::unique_lock<std::mutex> lock(toWait->mutex);
  const PendingWait wait = RegisterWait(toWait);
  lock.unlock();
  SetEvent(toSignal);
  lock.lock();
  return FinishWait(toWait, lock, wait, timeoutMs);
}

}  // namespace plat
