// Process statistics from /proc/self: VmHWM and VmRSS of status, read_bytes
// and write_bytes of io, the targets of fd/*. Writing "5" to clear_refs
// resets VmHWM.
#include "platform/process_stats.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/com_types.h"

namespace plat {
namespace {

// The number after "<field>:" in a /proc file, times `scale`; false when
// the file or the field is missing.
bool ReadProcField(const char* path, const char* field, uint64_t scale, uint64_t* value) {
  FILE* file = std::fopen(path, "r");
  if (!file) {
    SetLastErrorFromErrno(errno);
    return false;
  }
  const size_t fieldLength = std::strlen(field);
  char line[256];
  bool found = false;
  while (std::fgets(line, sizeof line, file)) {
    if (std::strncmp(line, field, fieldLength) == 0 && line[fieldLength] == ':') {
      unsigned long long number = 0;
      found = std::sscanf(line + fieldLength + 1, "%llu", &number) == 1;
      *value = number * scale;
      break;
    }
  }
  std::fclose(file);
  if (!found) SetLastError(ERROR_NOT_SUPPORTED);
  return found;
}

uint64_t StatusKilobytes(const char* field) {
  uint64_t bytes = 0;
  return ReadProcField("/proc/self/status", field, 1024, &bytes) ? bytes : 0;
}

}  // namespace

uint64_t PeakResidentBytes() {
  return StatusKilobytes("VmHWM");
}

uint64_t CurrentResidentBytes() {
  return StatusKilobytes("VmRSS");
}

bool ResetPeakResidentBytes() {
  FILE* file = std::fopen("/proc/self/clear_refs", "w");
  if (!file) {
    SetLastErrorFromErrno(errno);
    return false;
  }
  const bool written = std::fputs("5", file) >= 0;
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed) SetLastErrorFromErrno(errno);
  return written && closed;
}

bool GetProcessIoBytes(ProcessIoBytes* io) {
  return ReadProcField("/proc/self/io", "read_bytes", 1, &io->ReadBytes) &&
         ReadProcField("/proc/self/io", "write_bytes", 1, &io->WriteBytes);
}

bool StandardErrorIsTerminal() {
  return isatty(STDERR_FILENO) == 1;
}

}  // namespace plat
