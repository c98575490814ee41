// A completion port: a queue of work items (byte count, key, pointer) that
// threads wait on, in the manner of a Win32 I/O completion port used for
// posted items only. Items are taken in the order posted.
#pragma once

#include <cstdint>

#include "platform/sync.h"

namespace plat {

struct PortObject;
using PortHandle = PortObject*;

// `concurrency` is advisory (the number of threads meant to run at once).
// Null on failure (last error set).
PortHandle CreateCompletionPort(uint32_t concurrency);
// False on failure (last error set).
bool PostCompletion(PortHandle port, uint32_t bytes, uintptr_t key, void* pointer);
// Waits for one item. False on time-out (last error WAIT_TIMEOUT) or when the
// port is closed (last error ERROR_ABANDONED_WAIT_0).
bool GetCompletion(PortHandle port, uint32_t* bytes, uintptr_t* key, void** pointer,
                   uint32_t timeoutMs = kInfinite);
// Wakes every waiter with a failure and frees the port once the last waiter
// has left. Items still queued are dropped. Null is ignored.
void CloseCompletionPort(PortHandle port);

}  // namespace plat
