// The part of starting and collecting a block transfer (platform/async_file.h)
// that does not depend on how the system carries it out: the rules every
// transfer keeps, the filling in of its record, injected faults, and the
// report that WaitForIo gives from a record once the transfer is over.
#pragma once

#include <cstdint>

#include "platform/async_file.h"

namespace plat {

enum class TransferStart {
  kRefused,  // Broke the rules; last error ERROR_INVALID_PARAMETER, record unchanged.
  kFaulted,  // An injected fault: the record is complete and failed.
  kIssue,    // The record is filled in; the backend issues the transfer.
};

// Checks a transfer that is about to start on `io` (which is not pending):
// a page-aligned buffer, an offset and a byte count that are multiples of
// kFileAlignment, and at least one byte. Then fills in the record as a
// transfer that has moved nothing yet.
TransferStart PrepareTransfer(void* buffer, uint32_t bytes, AsyncIo* io, bool isRead);

// WaitForIo's answer for a record that is no longer pending.
bool ReportTransfer(const AsyncIo& io, uint32_t* bytes);

}  // namespace plat
