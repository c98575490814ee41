// Asynchronous block transfers on files opened with OpenTransientFile, in
// the manner of overlapped I/O: a transfer is started on a record that then
// stays pending until the transfer completes; the caller later waits for it
// and collects its result.
//
// On Linux, transfers go through io_uring when the system offers it, one ring
// shared by every open file (a file costs one descriptor), and otherwise
// through a helper thread per file that does the reads and writes in turn.
// Setting the environment variable TOLVARINE_NO_URING=1 before a file is
// opened makes that file use the helper thread. On Windows they are
// overlapped ReadFile and WriteFile calls, each with an event of its own.
//
// Unbuffered I/O rules apply to every transfer, on every file system, so that
// callers keep to them everywhere: the buffer is page-aligned (PageAlloc),
// and the file offset and byte count are multiples of kFileAlignment.
#pragma once

#include <cstdint>

#include "platform/com_types.h"
#include "platform/file_system.h"

namespace plat {

constexpr uint32_t kFileAlignment = 4096;

// One transfer. The caller zeroes it (or default-constructs it) once and sets
// Offset before each start. The record must stay where it is, and its buffer
// must stay allocated, until the transfer is no longer pending.
struct AsyncIo {
  uint64_t Offset = 0;  // File offset of the next transfer started on it.

  // Kept by the file services; read them only through the functions below.
  enum class Phase : uint8_t { kIdle, kPending, kDone };
  Phase State = Phase::kIdle;
  bool IsRead = false;
  bool Failed = false;
  DWORD Error = 0;           // Win32 error of a failed transfer (0 is possible).
  uint32_t Requested = 0;    // Bytes asked for.
  uint32_t Transferred = 0;  // Bytes moved so far.
  uint8_t* Buffer = nullptr;
  void* Owner = nullptr;  // The file's transfer engine, while pending.
};

// Start a transfer of `bytes` bytes at io->Offset. True when it has been
// started (it may already have completed); false with the last error when it
// could not be issued, the record then not pending. A read at or past the end
// of the file is not refused here: it completes with no data.
// REQUIRES: io is not pending.
bool StartFileRead(FileHandle file, void* buffer, uint32_t bytes, AsyncIo* io);
bool StartFileWrite(FileHandle file, const void* buffer, uint32_t bytes, AsyncIo* io);

// True while the transfer on `io` has not completed.
bool IsIoPending(FileHandle file, AsyncIo* io);

// Waits without a time limit until the transfer on `io` has completed, then
// reports it as GetOverlappedResult does: true with the bytes moved in
// *bytes, or false with the last error set to the transfer's error. A read
// that found no data (at or past the end of the file) reports false with
// ERROR_HANDLE_EOF and 0 bytes. A record on which nothing was started
// reports true with 0 bytes.
bool WaitForIo(FileHandle file, AsyncIo* io, uint32_t* bytes);

// True when the file's transfers go through io_uring.
bool FileUsesUring(FileHandle file);

}  // namespace plat
