// A completion port is a FIFO of posted items under a mutex, with a condition
// variable for the threads waiting on it. Closing must be safe while threads
// wait: the port counts the threads inside GetCompletion, Close marks it
// closed and wakes them all, and whichever of Close and the last thread to
// leave comes second frees the object.
#include "platform/completion_port.h"

#include <chrono>
#include <deque>
#include <new>

#include "platform/fault_injection.h"
#include "platform/no_throw.h"
#include "platform/posix/mutex.h"
#include "platform/posix/port_waiters.h"

namespace plat {

struct PortObject {
  struct Item {
    uint32_t bytes;
    uintptr_t key;
    void* pointer;
  };

  Mutex mutex;
  CondVar posted;
  std::deque<Item> items GUARDED_BY(mutex);
  uint32_t waitersInside GUARDED_BY(mutex) = 0;
  bool closed GUARDED_BY(mutex) = false;
};

PortHandle CreateCompletionPort(uint32_t /*concurrency*/) {
  if (ShouldFail(FaultSite::kPortCreate)) return nullptr;
  auto* port = new (std::nothrow) PortObject;
  if (port == nullptr) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return port;
}

bool PostCompletion(PortHandle port, uint32_t bytes, uintptr_t key, void* pointer) {
  if (port == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  if (ShouldFail(FaultSite::kPortPost)) return false;
  MutexLock lock(port->mutex);
  if (port->closed) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  // The lambda runs at once, under the lock taken above; the analysis
  // checks a lambda apart from its caller and cannot see that.
  const bool posted = NoThrow(
      [&]() NO_THREAD_SAFETY_ANALYSIS {
        port->items.push_back({bytes, key, pointer});
        return true;
      },
      OutOfMemoryError);
  if (!posted) return false;
  port->posted.NotifyOne();
  return true;
}

bool GetCompletion(PortHandle port, uint32_t* bytes, uintptr_t* key, void** pointer,
                   uint32_t timeoutMs) {
  if (port == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  MutexLock lock(port->mutex);
  if (port->closed) {
    SetLastError(ERROR_ABANDONED_WAIT_0);
    return false;
  }
  ++port->waitersInside;
  while (!port->closed && port->items.empty()) {
    if (timeoutMs == kInfinite) {
      port->posted.Wait(port->mutex);
    } else if (!port->posted.WaitUntil(port->mutex, deadline)) {
      break;
    }
  }
  --port->waitersInside;

  if (port->closed) {
    const bool lastToLeave = port->waitersInside == 0;
    lock.Unlock();
    if (lastToLeave) delete port;
    SetLastError(ERROR_ABANDONED_WAIT_0);
    return false;
  }
  if (port->items.empty()) {
    SetLastError(WAIT_TIMEOUT);
    return false;
  }
  const PortObject::Item item = port->items.front();
  port->items.pop_front();
  if (bytes != nullptr) *bytes = item.bytes;
  if (key != nullptr) *key = item.key;
  if (pointer != nullptr) *pointer = item.pointer;
  return true;
}

void CloseCompletionPort(PortHandle port) {
  if (port == nullptr) return;
  MutexLock lock(port->mutex);
  port->closed = true;
  port->items.clear();
  port->posted.NotifyAll();
  const bool nobodyInside = port->waitersInside == 0;
  lock.Unlock();
  if (nobodyInside) delete port;
}

uint32_t WaitersInside(PortHandle port) {
  MutexLock lock(port->mutex);
  return port->waitersInside;
}

}  // namespace plat
