// Block transfers as overlapped ReadFile and WriteFile on the file's handle,
// each with an OVERLAPPED and an event of its own borrowed from the file
// (file_object.h).
//
// The system checks the alignment that FILE_FLAG_NO_BUFFERING requires only
// on some volumes, and Wine not at all; PrepareTransfer checks it first, with
// the error Windows gives, so that a caller that breaks it fails everywhere.
#include "platform/async_file.h"

#include <new>

#include "platform/transfer_record.h"
#include "platform/win32/file_object.h"

namespace plat {
namespace {

// A free transfer of `file`, now serving `io`; null with the last error set.
Transfer* Borrow(FileObject* file, AsyncIo* io) {
  ::AcquireSRWLockExclusive(&file->Lock);
  Transfer* found = nullptr;
  for (const auto& transfer : file->Transfers) {
    if (transfer->Io == nullptr) {
      found = transfer.get();
      break;
    }
  }
  if (found == nullptr) {
    auto made = std::unique_ptr<Transfer>(new (std::nothrow) Transfer);
    if (made != nullptr) made->Event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (made == nullptr) {
      ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    } else if (made->Event != nullptr) {
      try {
        file->Transfers.push_back(std::move(made));
        found = file->Transfers.back().get();
      } catch (const std::bad_alloc&) {
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      }
    }
  }
  if (found != nullptr) found->Io = io;
  ::ReleaseSRWLockExclusive(&file->Lock);
  return found;
}

void GiveBack(FileObject* file, Transfer* transfer) {
  ::AcquireSRWLockExclusive(&file->Lock);
  transfer->Io = nullptr;
  ::ReleaseSRWLockExclusive(&file->Lock);
}

// Records the outcome of the transfer on `io`: `done` and `bytes` as
// GetOverlappedResult gave them, `error` its error when it failed. An
// overlapped read at or past the end of the file fails with ERROR_HANDLE_EOF,
// either at once or at completion depending on the file system (Wine: at
// completion, after ERROR_IO_PENDING): both are a read that found no data.
void Record(AsyncIo* io, bool done, DWORD bytes, DWORD error) {
  io->State = AsyncIo::Phase::kDone;
  io->Owner = nullptr;
  if (!done && !(io->IsRead && error == ERROR_HANDLE_EOF)) {
    io->Failed = true;
    io->Error = error;
    return;
  }
  io->Transferred = done ? bytes : 0;
  // Only a full volume leaves a write short without failing it.
  if (!io->IsRead && io->Transferred < io->Requested) {
    io->Failed = true;
    io->Error = ERROR_DISK_FULL;
  }
}

// Collects the transfer on `io` once it has completed; false while it is
// still in flight (only when `wait` is false).
bool Collect(FileObject* file, AsyncIo* io, bool wait) {
  auto* transfer = static_cast<Transfer*>(io->Owner);
  DWORD bytes = 0;
  const bool done = ::GetOverlappedResult(file->Handle, &transfer->Overlapped, &bytes, wait);
  const DWORD error = done ? ERROR_SUCCESS : ::GetLastError();
  if (!done && error == ERROR_IO_INCOMPLETE) return false;
  Record(io, done, bytes, error);
  GiveBack(file, transfer);
  return true;
}

bool StartTransfer(FileHandle file, void* buffer, uint32_t bytes, AsyncIo* io, bool isRead) {
  if (file == nullptr || io == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  if (IsIoPending(file, io)) {
    SetLastError(ERROR_BUSY);
    return false;
  }
  const TransferStart start = PrepareTransfer(buffer, bytes, io, isRead);
  if (start != TransferStart::kIssue) return start == TransferStart::kFaulted;
  Transfer* transfer = Borrow(file, io);
  if (transfer == nullptr) return false;
  transfer->Overlapped = OVERLAPPED{};
  transfer->Overlapped.Offset = static_cast<DWORD>(io->Offset);
  transfer->Overlapped.OffsetHigh = static_cast<DWORD>(io->Offset >> 32);
  transfer->Overlapped.hEvent = transfer->Event;
  const AsyncIo::Phase before = io->State;
  io->Owner = transfer;
  io->State = AsyncIo::Phase::kPending;
  // Done at once or in flight, the result is collected through the
  // OVERLAPPED alike.
  const bool issued =
      isRead ? ::ReadFile(file->Handle, buffer, bytes, nullptr, &transfer->Overlapped)
             : ::WriteFile(file->Handle, buffer, bytes, nullptr, &transfer->Overlapped);
  const DWORD error = issued ? ERROR_SUCCESS : ::GetLastError();
  if (issued || error == ERROR_IO_PENDING) return true;
  if (isRead && error == ERROR_HANDLE_EOF) {
    Record(io, false, 0, error);
    GiveBack(file, transfer);
    return true;
  }
  io->Owner = nullptr;
  io->State = before;
  GiveBack(file, transfer);
  SetLastError(error);
  return false;
}

}  // namespace

bool StartFileRead(FileHandle file, void* buffer, uint32_t bytes, AsyncIo* io) {
  return StartTransfer(file, buffer, bytes, io, true);
}

bool StartFileWrite(FileHandle file, const void* buffer, uint32_t bytes, AsyncIo* io) {
  // WriteFile only reads the buffer.
  return StartTransfer(file, const_cast<void*>(buffer), bytes, io, false);
}

bool IsIoPending(FileHandle file, AsyncIo* io) {
  return io->State == AsyncIo::Phase::kPending && !Collect(file, io, false);
}

bool WaitForIo(FileHandle file, AsyncIo* io, uint32_t* bytes) {
  if (io->State == AsyncIo::Phase::kPending) Collect(file, io, true);
  return ReportTransfer(*io, bytes);
}

bool FileUsesUring(FileHandle file) {
  return false;
}

void FinishTransfers(FileObject* file) {
  // No transfer can start meanwhile: closing a file with transfers still
  // being started on it is the caller's error. The lock is not held while
  // waiting, because Collect takes it to give each transfer back.
  for (size_t i = 0; i < file->Transfers.size(); ++i) {
    AsyncIo* io = file->Transfers[i]->Io;
    if (io != nullptr) Collect(file, io, true);
  }
}

}  // namespace plat
