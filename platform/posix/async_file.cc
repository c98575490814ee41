// Starting, waiting for and collecting block transfers; the choice of
// transfer engine per file. The engines themselves are in uring_engine.cc and
// thread_engine.cc.
#include "platform/async_file.h"

#include <fcntl.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/no_throw.h"
#include "platform/posix/file_object.h"
#include "platform/transfer_record.h"

namespace plat {
namespace {

// Set once io_uring has been refused, so that later files do not ask again.
std::atomic<bool> g_uringRefused{false};

bool UringSwitchedOff() {
  const char* value = std::getenv("TOLVARINE_NO_URING");
  return value != nullptr && std::strcmp(value, "1") == 0;
}

bool StartTransfer(FileHandle file, void* buffer, uint32_t bytes, AsyncIo* io, bool isRead) {
  if (file == nullptr || io == nullptr || buffer == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  if (file->Io->IsPending(io)) {
    SetLastError(ERROR_BUSY);
    return false;
  }
  switch (PrepareTransfer(buffer, bytes, io, isRead)) {
    case TransferStart::kRefused:
      return false;
    case TransferStart::kFaulted:
      return true;
    case TransferStart::kIssue:
      break;
  }
  return file->Io->Submit(io);
}

}  // namespace

bool StartFileRead(FileHandle file, void* buffer, uint32_t bytes, AsyncIo* io) {
  return StartTransfer(file, buffer, bytes, io, true);
}

bool StartFileWrite(FileHandle file, const void* buffer, uint32_t bytes, AsyncIo* io) {
  // The engines only read the buffer of a write.
  return StartTransfer(file, const_cast<void*>(buffer), bytes, io, false);
}

// The state of a record is only read through its engine, under the engine's
// lock, because the engine completes transfers on its own thread.
bool IsIoPending(FileHandle file, AsyncIo* io) {
  return file->Io->IsPending(io);
}

bool WaitForIo(FileHandle file, AsyncIo* io, uint32_t* bytes) {
  file->Io->Wait(io);
  return ReportTransfer(*io, bytes);
}

bool FileUsesUring(FileHandle file) {
  return file != nullptr && file->Io->UsesUring();
}

bool AccountTransfer(AsyncIo* io, long result) {
  if (result < 0) {
    if (result == -EINTR || result == -EAGAIN) return false;
    io->Failed = true;
    io->Error = Win32ErrorFromErrno(static_cast<int>(-result));
    return true;
  }
  if (result == 0) {
    // A write that moves nothing can make no progress: the device is full.
    if (!io->IsRead) {
      io->Failed = true;
      io->Error = ERROR_DISK_FULL;
    }
    return true;
  }
  io->Transferred += static_cast<uint32_t>(result);
  return io->IsRead || io->Transferred >= io->Requested;
}

void ReleaseCachedTransfer(int fd, bool direct, const AsyncIo& io) {
  if (direct || io.Transferred == 0) return;
  posix_fadvise(fd, static_cast<off_t>(io.Offset), io.Transferred, POSIX_FADV_DONTNEED);
}

std::unique_ptr<IoEngine> MakeIoEngine(int fd, bool direct) {
  return NoThrow(
      [&]() -> std::unique_ptr<IoEngine> {
        if (!UringSwitchedOff() && !g_uringRefused.load(std::memory_order_relaxed)) {
          bool refusedForGood = false;
          if (auto engine = MakeUringEngine(fd, direct, &refusedForGood)) return engine;
          if (refusedForGood) g_uringRefused.store(true, std::memory_order_relaxed);
        }
        return MakeThreadEngine(fd, direct);
      },
      [] {
        OutOfMemoryError();
        return std::unique_ptr<IoEngine>();
      });
}

}  // namespace plat
