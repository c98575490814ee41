// Locks and events in the manner of Win32 critical sections and event
// objects. Failures set the thread's last error (plat::GetLastError).
#pragma once

#include <cstdint>

#include "platform/com_types.h"
#include "platform/thread_annotations.h"

namespace plat {

constexpr uint32_t kInfinite = 0xFFFFFFFFu;

// Re-entrant lock: the owning thread may enter it again; it is free again
// after as many Leave calls as Enter calls. Clang's analysis sees each lock
// as held or not: a function that needs the lock says so (REQUIRES) rather
// than entering it a second time.
class CAPABILITY("mutex") CriticalSection {
 public:
  CriticalSection();
  ~CriticalSection();
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;
  void Enter() ACQUIRE();
  void Leave() RELEASE();
  // Stops the process unless the calling thread holds the lock. For a lock
  // that callers take through another object's reference, which the
  // analysis cannot match to the caller's own name for it.
  void AssertHeld() const ASSERT_CAPABILITY(this);

 private:
  struct Impl;
  Impl* impl_;
};

// Holds a CriticalSection for one scope.
class SCOPED_CAPABILITY Lock {
 public:
  explicit Lock(CriticalSection& cs) ACQUIRE(cs) : cs_(cs) { cs_.Enter(); }
  ~Lock() RELEASE() { cs_.Leave(); }
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;

 private:
  CriticalSection& cs_;
};

enum class WaitResult { kSignaled, kTimeout, kFailed };

// An event object. An auto-reset event releases one waiter per Set and
// returns to non-signalled; a manual-reset event stays signalled until Reset.
struct EventObject;
using EventHandle = EventObject*;

// Null on failure (last error set).
EventHandle CreateEvent(bool manualReset, bool initiallySignaled);
void CloseEvent(EventHandle event);  // Null is ignored.
bool SetEvent(EventHandle event);
bool ResetEvent(EventHandle event);
WaitResult WaitForEvent(EventHandle event, uint32_t timeoutMs = kInfinite);
// Signals `toSignal` and waits on `toWait` as one atomic step: no Set of
// `toWait` made after `toSignal` is visible can be missed.
WaitResult SignalAndWait(EventHandle toSignal, EventHandle toWait, uint32_t timeoutMs = kInfinite);

}  // namespace plat
