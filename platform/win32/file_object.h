// The Windows file record shared by the file services (file_system.cc) and
// the block transfers (async_file.cc).
#pragma once

#include <memory>
#include <vector>

#include "platform/async_file.h"
#include "platform/com_types.h"
#include "platform/file_system.h"

namespace plat {

// What the system needs for one overlapped transfer: the OVERLAPPED and the
// event it signals. A record (AsyncIo) borrows one from its file while its
// transfer is in flight (AsyncIo::Owner points to it) and gives it back when
// the result has been collected, so a file keeps only as many as it ever had
// in flight at once.
struct Transfer {
  Transfer() = default;
  Transfer(const Transfer&) = delete;
  Transfer& operator=(const Transfer&) = delete;
  ~Transfer() {
    if (Event != nullptr) ::CloseHandle(Event);
  }

  OVERLAPPED Overlapped{};
  HANDLE Event = nullptr;  // Manual reset, as GetOverlappedResult requires.
  AsyncIo* Io = nullptr;   // The record it serves; null while free.
};

struct FileObject {
  HANDLE Handle = INVALID_HANDLE_VALUE;
  // Guards Transfers (the list, and which of them are free): records of one
  // file may be started and collected on several threads.
  SRWLOCK Lock = SRWLOCK_INIT;
  std::vector<std::unique_ptr<Transfer>> Transfers;
};

// Waits for every transfer in flight on `file` and records its outcome in
// its record, as WaitForIo would.
void FinishTransfers(FileObject* file);

}  // namespace plat
