// A completion port is the system's own, used for posted items only: the
// item's pointer travels in the OVERLAPPED pointer, never dereferenced.
//
// Windows wakes the waiters of a port whose handle is closed
// (ERROR_ABANDONED_WAIT_0); Wine 8 does not. Nothing here relies on it: the
// engine's workers wait with a time-out and leave on a stop item.
#include "platform/completion_port.h"

#include "platform/fault_injection.h"

namespace plat {
namespace {

HANDLE Handle(PortHandle port) {
  return reinterpret_cast<HANDLE>(port);
}

}  // namespace

PortHandle CreateCompletionPort(uint32_t concurrency) {
  if (ShouldFail(FaultSite::kPortCreate)) return nullptr;
  HANDLE port = ::CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, concurrency);
  return reinterpret_cast<PortHandle>(port);
}

bool PostCompletion(PortHandle port, uint32_t bytes, uintptr_t key, void* pointer) {
  if (ShouldFail(FaultSite::kPortPost)) return false;
  return ::PostQueuedCompletionStatus(Handle(port), bytes, key,
                                      static_cast<OVERLAPPED*>(pointer)) != FALSE;
}

bool GetCompletion(PortHandle port, uint32_t* bytes, uintptr_t* key, void** pointer,
                   uint32_t timeoutMs) {
  DWORD count = 0;
  ULONG_PTR itemKey = 0;
  OVERLAPPED* item = nullptr;
  if (!::GetQueuedCompletionStatus(Handle(port), &count, &itemKey, &item, timeoutMs)) {
    // Posted items never fail, so a failure is a time-out or a closed port.
    if (::GetLastError() != WAIT_TIMEOUT) ::SetLastError(ERROR_ABANDONED_WAIT_0);
    return false;
  }
  if (bytes) *bytes = count;
  if (key) *key = itemKey;
  if (pointer) *pointer = item;
  return true;
}

void CloseCompletionPort(PortHandle port) {
  if (port) ::CloseHandle(Handle(port));
}

}  // namespace plat
