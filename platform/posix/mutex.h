// The POSIX backend's own lock and condition variable: std::mutex and
// std::condition_variable with the attributes Clang's thread safety analysis
// reads, which libstdc++'s carry none of. With them, what a lock guards is
// declared with GUARDED_BY and checked at compile time. Not re-entrant: the
// re-entrant lock the other layers use is plat::CriticalSection.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "platform/thread_annotations.h"

namespace plat {

class CAPABILITY("mutex") Mutex {
 public:
  Mutex() = default;
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;

  void Lock() ACQUIRE() { mutex_.lock(); }
  void Unlock() RELEASE() { mutex_.unlock(); }

 private:
  friend class CondVar;
  std::mutex mutex_;
};

// Holds a Mutex from construction to the end of the scope, or to Unlock,
// for a scope that must let go of the lock before it ends.
class SCOPED_CAPABILITY MutexLock {
 public:
  explicit MutexLock(Mutex& mutex) ACQUIRE(mutex) : mutex_(&mutex) { mutex.Lock(); }
  ~MutexLock() RELEASE() {
    if (mutex_ != nullptr) mutex_->Unlock();
  }
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

  void Unlock() RELEASE() {
    mutex_->Unlock();
    mutex_ = nullptr;
  }

 private:
  Mutex* mutex_;
};

// A condition variable waited on with its Mutex held. A wait gives the mutex
// up while it sleeps and has it again when it returns, so to the analysis
// the mutex stays held throughout. A wait may end without a notification:
// callers test their condition again in a loop.
class CondVar {
 public:
  void Wait(Mutex& mutex) REQUIRES(mutex) {
    std::unique_lock<std::mutex> lock(mutex.mutex_, std::adopt_lock);
    condition_.wait(lock);
    lock.release();  // Still held: the caller's lock lets go of it.
  }

  // False once `deadline` has passed.
  bool WaitUntil(Mutex& mutex, std::chrono::steady_clock::time_point deadline) REQUIRES(mutex) {
    std::unique_lock<std::mutex> lock(mutex.mutex_, std::adopt_lock);
    const bool notified = condition_.wait_until(lock, deadline) == std::cv_status::no_timeout;
    lock.release();
    return notified;
  }

  void NotifyOne() { condition_.notify_one(); }
  void NotifyAll() { condition_.notify_all(); }

 private:
  std::condition_variable condition_;
};

}  // namespace plat
