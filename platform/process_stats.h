// Facts about the running process, for benchmarks and progress displays:
// resident memory, the bytes it has made the storage devices read and write,
// its open scratch files, and whether standard error is a terminal.
#pragma once

#include <cstddef>
#include <cstdint>

namespace plat {

// Peak resident set size in bytes since the process started or since the
// last ResetPeakResidentBytes; 0 when unknown.
uint64_t PeakResidentBytes();
// Current resident set size in bytes; 0 when unknown.
uint64_t CurrentResidentBytes();
// Starts a new peak from the current resident size. False when the system
// does not allow it.
bool ResetPeakResidentBytes();

struct ProcessIoBytes {
  uint64_t ReadBytes;   // Fetched from storage (not from the file cache).
  uint64_t WriteBytes;  // Sent to storage.
};
// False when unknown (last error set).
bool GetProcessIoBytes(ProcessIoBytes* io);

// Whether standard error is a terminal (for progress displays).
bool StandardErrorIsTerminal();

}  // namespace plat
