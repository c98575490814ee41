// Threads are the system's own; a thread handle is the HANDLE itself.
// Processors are numbered within the process's affinity mask, as on POSIX
// within its cpuset, so ProcessorCount and SetCurrentThreadAffinity agree
// when the process may use only some of the machine's processors.
#include "platform/thread.h"

#include <bit>
#include <new>

#include "platform/fault_injection.h"

namespace plat {
namespace {

struct Start {
  ThreadProc proc;
  void* argument;
};

DWORD WINAPI ThreadStart(void* parameter) {
  const Start start = *static_cast<Start*>(parameter);
  delete static_cast<Start*>(parameter);
  return start.proc(start.argument);
}

HANDLE Handle(ThreadHandle thread) {
  return reinterpret_cast<HANDLE>(thread);
}

DWORD_PTR AllowedProcessors() {
  DWORD_PTR process = 0, system = 0;
  if (!::GetProcessAffinityMask(::GetCurrentProcess(), &process, &system) || process == 0) {
    return 1;
  }
  return process;
}

}  // namespace

ThreadHandle CreateThread(ThreadProc proc, void* argument) {
  if (ShouldFail(FaultSite::kThreadCreate)) return nullptr;
  auto* start = new (std::nothrow) Start{proc, argument};
  if (!start) {
    ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  HANDLE thread = ::CreateThread(nullptr, 0, ThreadStart, start, 0, nullptr);
  if (!thread) {
    const DWORD error = ::GetLastError();
    delete start;
    ::SetLastError(error);
  }
  return reinterpret_cast<ThreadHandle>(thread);
}

bool JoinThread(ThreadHandle thread, uint32_t* exitCode) {
  if (::WaitForSingleObject(Handle(thread), INFINITE) != WAIT_OBJECT_0) return false;
  DWORD code = 0;
  if (!::GetExitCodeThread(Handle(thread), &code)) return false;
  if (exitCode) *exitCode = code;
  return true;
}

void CloseThread(ThreadHandle thread) {
  if (thread) ::CloseHandle(Handle(thread));
}

bool SetCurrentThreadAffinity(uint32_t processor) {
  DWORD_PTR allowed = AllowedProcessors();
  if (processor >= ProcessorCount()) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  for (uint32_t i = 0; i < processor; ++i) allowed &= allowed - 1;  // drop the lowest bit
  const DWORD_PTR mask = allowed & (~allowed + 1);                  // keep the lowest bit
  return ::SetThreadAffinityMask(::GetCurrentThread(), mask) != 0;
}

uint32_t ProcessorCount() {
  return static_cast<uint32_t>(std::popcount(static_cast<uint64_t>(AllowedProcessors())));
}

uint64_t TotalPhysicalMemory() {
  MEMORYSTATUSEX status;
  status.dwLength = sizeof status;
  return ::GlobalMemoryStatusEx(&status) ? status.ullTotalPhys : 0;
}

}  // namespace plat
