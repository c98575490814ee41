// Scratch files: sorted runs written to and read back from disk in 2 MiB
// blocks, unbuffered and asynchronous, through two alternating buffers.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "platform/com_types.h"
#include "scratch/scratch_areas.h"

constexpr uint32_t ScratchBlockSize = 0x200000;

// Reserves the next free name "<area>/tolvarine<n>" by creating it
// exclusively (an existing name is skipped).
HRESULT MakeScratchFileName(ScratchAreaList* list, const std::u16string& area,
                            std::u16string* name);

// The reader of one run on disk. The engine reads CurrentRow (the run's
// cursor points at this field), BlockStart, BlockEnd and RowInBuffer; the
// rest is private to the scratch code.
struct ScratchReader {
  uint8_t* BlockStart = nullptr;
  uint8_t* CurrentRow = nullptr;
  uint8_t* BlockEnd = nullptr;
  bool RowInBuffer = false;
  struct State;
  State* Private = nullptr;
};

// Writes `rowCount` rows of `rowWidth` bytes, in the order of `rowPointers`,
// to a new scratch file in the next area. S_OK: the file holds the run and
// *reader is ready (its first NextScratchRow loads the first block); the
// caller then frees the run's memory. S_FALSE: `inputEnded` was found set
// before a block was written; nothing was kept. A failure leaves no file, not
// even the reserved name. E_INVALIDARG for rows wider than half a block
// (ScratchBlockSize / 2) or of width 0, and when the list has no area.
// REQUIRES: called by one thread at a time per list.
HRESULT WriteRunToScratchFile(ScratchAreaList* list, uint8_t* const* rowPointers, uint32_t rowCount,
                              uint32_t rowWidth, const std::atomic<bool>* inputEnded,
                              ScratchReader** reader);

// Sets up the read buffers and issues the read of the first block.
HRESULT StartScratchRead(ScratchReader* reader);
// Moves CurrentRow to the next row, reading the next block at a block's end;
// the first call makes the first row current. A read that failed is reported
// here, when its block is needed. A step past the last row is S_OK and reads
// nothing.
HRESULT NextScratchRow(ScratchReader* reader);
// Ends all I/O, closes (and so deletes) the file and frees the reader.
void CloseScratchReader(ScratchReader* reader);
