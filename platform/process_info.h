// What a command-line program reports about its own process: whether its
// standard error is a terminal, how much it has written to storage, its peak
// memory, and which of its open files carry a given name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace plat {

// True when standard error is an interactive terminal (console).
bool StandardErrorIsTerminal();

// Bytes the process has caused to be written to storage so far (on Windows
// the WriteTransferCount of GetProcessIoCounters). False when unknown.
bool GetProcessWriteBytes(uint64_t* bytes);

// The most memory the process has held resident at once (the peak working
// set). False when unknown.
bool GetPeakMemoryBytes(uint64_t* bytes);

// Open files of the process whose name (the last path component, of a file
// that still exists or has been deleted while open) is `prefix` followed by
// one or more decimal digits.
size_t CountOpenFilesNamed(std::string_view prefix);

}  // namespace plat
