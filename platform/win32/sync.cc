// Critical sections and events are the system's own. An event handle is the
// HANDLE itself, so no allocation stands between a caller and the kernel.
#include "platform/sync.h"

#include <cstdlib>

#include "platform/fault_injection.h"

namespace plat {
namespace {

HANDLE Handle(EventHandle event) {
  return reinterpret_cast<HANDLE>(event);
}

WaitResult FromWait(DWORD result) {
  switch (result) {
    case WAIT_OBJECT_0:
      return WaitResult::kSignaled;
    case WAIT_TIMEOUT:
      ::SetLastError(WAIT_TIMEOUT);
      return WaitResult::kTimeout;
    default:
      return WaitResult::kFailed;
  }
}

}  // namespace

struct CriticalSection::Impl {
  CRITICAL_SECTION section;
};

CriticalSection::CriticalSection() : impl_(new Impl) {
  ::InitializeCriticalSection(&impl_->section);
}

CriticalSection::~CriticalSection() {
  ::DeleteCriticalSection(&impl_->section);
  delete impl_;
}

void CriticalSection::Enter() {
  ::EnterCriticalSection(&impl_->section);
}

void CriticalSection::Leave() {
  ::LeaveCriticalSection(&impl_->section);
}

// OwningThread holds the owner's thread id (as a handle-sized value) while
// the section is entered; only the owner can see its own id there.
void CriticalSection::AssertHeld() const {
  const auto owner = reinterpret_cast<uintptr_t>(impl_->section.OwningThread);
  if (owner != ::GetCurrentThreadId()) std::abort();
}

EventHandle CreateEvent(bool manualReset, bool initiallySignaled) {
  if (ShouldFail(FaultSite::kEventCreate)) return nullptr;
  HANDLE event = ::CreateEventW(nullptr, manualReset, initiallySignaled, nullptr);
  return reinterpret_cast<EventHandle>(event);
}

void CloseEvent(EventHandle event) {
  if (event) ::CloseHandle(Handle(event));
}

bool SetEvent(EventHandle event) {
  return ::SetEvent(Handle(event)) != FALSE;
}

bool ResetEvent(EventHandle event) {
  return ::ResetEvent(Handle(event)) != FALSE;
}

WaitResult WaitForEvent(EventHandle event, uint32_t timeoutMs) {
  return FromWait(::WaitForSingleObject(Handle(event), timeoutMs));
}

WaitResult SignalAndWait(EventHandle toSignal, EventHandle toWait, uint32_t timeoutMs) {
  return FromWait(::SignalObjectAndWait(Handle(toSignal), Handle(toWait), timeoutMs, FALSE));
}

}  // namespace plat
