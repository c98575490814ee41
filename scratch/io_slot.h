// One transfer buffer of a scratch file: a page-aligned buffer the size of
// the extents moved through it, and the record of the transfer in flight on it.
#pragma once

#include <cstdint>

#include "platform/async_file.h"
#include "platform/com_types.h"

struct IoSlot {
  plat::AsyncIo Io;
  uint8_t* Buffer = nullptr;
  uint32_t BufferSize = 0;
};

// Gives the slot a buffer of `bytes` bytes. The HRESULT of the system's
// refusal when the memory cannot be had.
// REQUIRES: bytes is a nonzero multiple of plat::kFileAlignment.
HRESULT InitIoSlot(IoSlot* slot, uint32_t bytes);
// Releases the buffer, if any, and sets BufferSize to 0.
// REQUIRES: no transfer pending on the slot.
void FreeIoSlot(IoSlot* slot);
