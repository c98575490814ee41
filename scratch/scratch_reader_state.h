// The scratch code's own part of a ScratchReader.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/file_system.h"
#include "scratch/io_slot.h"
#include "scratch/scratch_file.h"

// Invariants once StartScratchRead has succeeded: exactly one read is in
// flight or completed but not yet collected, on CurrentSlot (the read-ahead);
// the other slot holds the current extent. Rows handed out lie in
// [ExtentStart, ExtentEnd) of the current extent or, while RowInBuffer, in
// RowBuffer.
struct ScratchReader::State {
  plat::FileHandle File = nullptr;
  IoSlot SlotA;  // Both buffers are one read extent in size.
  IoSlot SlotB;
  IoSlot* CurrentSlot = &SlotA;  // The slot whose read delivers the next extent.
  uint64_t NextReadOffset = 0;
  std::unique_ptr<uint8_t[]> RowBuffer;  // RowWidth bytes.
  uint32_t RowWidth = 0;
  uint32_t CarryBytes = 0;  // Bytes of a row split at the end of the current extent.
  uint32_t RowsLeft = 0;    // Rows of the run not yet made current.
};
