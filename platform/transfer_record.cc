#include "platform/transfer_record.h"

#include "platform/fault_injection.h"

namespace plat {
namespace {

bool IsAligned(uint64_t value) {
  return value % kFileAlignment == 0;
}

}  // namespace

TransferStart PrepareTransfer(void* buffer, uint32_t bytes, AsyncIo* io, bool isRead) {
  if (buffer == nullptr || bytes == 0 || !IsAligned(bytes) || !IsAligned(io->Offset) ||
      !IsAligned(reinterpret_cast<uintptr_t>(buffer))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return TransferStart::kRefused;
  }
  io->IsRead = isRead;
  io->Failed = false;
  io->Error = ERROR_SUCCESS;
  io->Requested = bytes;
  io->Transferred = 0;
  io->Buffer = static_cast<uint8_t*>(buffer);
  // An injected fault is a transfer that was issued and then failed, so that
  // callers meet it where real device errors show up.
  if (ShouldFail(isRead ? FaultSite::kFileRead : FaultSite::kFileWrite)) {
    io->Failed = true;
    io->Error = GetLastError();
    io->State = AsyncIo::Phase::kDone;
    return TransferStart::kFaulted;
  }
  return TransferStart::kIssue;
}

bool ReportTransfer(const AsyncIo& io, uint32_t* bytes) {
  *bytes = 0;
  if (io.State == AsyncIo::Phase::kIdle) return true;
  if (io.Failed) {
    SetLastError(io.Error);
    return false;
  }
  if (io.IsRead && io.Transferred == 0) {
    SetLastError(ERROR_HANDLE_EOF);
    return false;
  }
  *bytes = io.Transferred;
  return true;
}

}  // namespace plat
