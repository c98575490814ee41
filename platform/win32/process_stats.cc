// Process statistics from the system's own counters: the working set (the
// pages of the process resident in memory) and its peak from
// GetProcessMemoryInfo, the bytes transferred by its reads and writes from
// GetProcessIoCounters.
#include "platform/process_stats.h"

// psapi.h needs the types of windows.h before it.
#include "platform/com_types.h"
// clang-format off
#include <psapi.h>
// clang-format on

namespace plat {
namespace {

bool MemoryCounters(PROCESS_MEMORY_COUNTERS* counters) {
  return ::GetProcessMemoryInfo(::GetCurrentProcess(), counters, sizeof *counters);
}

}  // namespace

uint64_t PeakResidentBytes() {
  PROCESS_MEMORY_COUNTERS counters{};
  return MemoryCounters(&counters) ? counters.PeakWorkingSetSize : 0;
}

uint64_t CurrentResidentBytes() {
  PROCESS_MEMORY_COUNTERS counters{};
  return MemoryCounters(&counters) ? counters.WorkingSetSize : 0;
}

// Windows keeps the peak working set for the life of the process and offers
// no call that starts it again; trimming the working set
// (SetProcessWorkingSetSize) lowers only the current size.
bool ResetPeakResidentBytes() {
  SetLastError(ERROR_NOT_SUPPORTED);
  return false;
}

// The counters include every transfer of the process through ReadFile and
// WriteFile, cached or not, and those to pipes and devices, where the Linux
// counters name only what reached storage. For a sort whose scratch files
// bypass the cache, the difference is the input read and the output written.
// Wine keeps no such counters: it reports zeros.
bool GetProcessIoBytes(ProcessIoBytes* io) {
  IO_COUNTERS counters{};
  if (!::GetProcessIoCounters(::GetCurrentProcess(), &counters)) return false;
  io->ReadBytes = counters.ReadTransferCount;
  io->WriteBytes = counters.WriteTransferCount;
  return true;
}

// A console answers GetConsoleMode; a file, a pipe (including the pseudo
// terminals of MSYS2 and Cygwin terminals) or no handle at all does not.
bool StandardErrorIsTerminal() {
  DWORD mode = 0;
  const HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
  return error != nullptr && error != INVALID_HANDLE_VALUE && ::GetConsoleMode(error, &mode);
}

}  // namespace plat
