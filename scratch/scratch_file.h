// Scratch files: sorted runs written to disk in 2 MiB extents and read back
// in extents of the reader's choosing, unbuffered and asynchronous, through
// two alternating buffers of the extent size. A run is one contiguous stream
// of rows, so the extents it is read in need not match those it was written in.
// (An extent is the unit a scratch file is moved in: neither the host's
// RowBlock of buffer rows nor the engine's RowChunk of heap rows.)
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

#include "platform/async_file.h"
#include "platform/com_types.h"
#include "scratch/scratch_areas.h"

constexpr uint32_t ScratchExtentSize = 0x200000;

// The read extent size the engine asks for when it merges runs from disk: it
// reads many runs at once (64 and more) within a quarter of its budget, two
// buffers each, yet an extent must stay large enough that each direct read
// costs little more than the transfer itself.
constexpr uint32_t kMergeReadExtentBytes = 512 * 1024;

// The read extent size for runs of `rowWidth`-byte rows: `preferredBytes`, but
// no less than two rows (the rest of a row split at an extent's end and the
// next row whole must fit the next extent), rounded up to a multiple of
// plat::kFileAlignment, and no more than ScratchExtentSize (which holds two
// rows of every width a run may have).
constexpr uint32_t ScratchReadExtentBytes(uint32_t rowWidth, uint32_t preferredBytes) {
  const uint64_t wanted = std::max<uint64_t>({preferredBytes, 2 * uint64_t{rowWidth}, 1});
  const uint64_t aligned =
      (wanted + plat::kFileAlignment - 1) / plat::kFileAlignment * plat::kFileAlignment;
  return static_cast<uint32_t>(std::min<uint64_t>(aligned, ScratchExtentSize));
}

// Reserves the next free name "<area>/tolvarine<n>" by creating it
// exclusively (an existing name is skipped).
HRESULT MakeScratchFileName(ScratchAreaList* list, const std::u16string& area,
                            std::u16string* name);

// The reader of one run on disk. Its user reads CurrentRow, the row that
// NextScratchRow made current; the rest is for the scratch code.
struct ScratchReader {
  uint8_t* ExtentStart = nullptr;
  uint8_t* CurrentRow = nullptr;
  uint8_t* ExtentEnd = nullptr;
  bool RowInBuffer = false;
  struct State;
  State* Private = nullptr;
};

// Sets up two read buffers of `extentBytes` and issues the read of the first
// extent. E_INVALIDARG unless extentBytes is a nonzero multiple of
// plat::kFileAlignment and at least twice the row width (ScratchReadExtentBytes
// gives such a size); E_UNEXPECTED when the read was started before.
HRESULT StartScratchRead(ScratchReader* reader, uint32_t extentBytes = ScratchExtentSize);
// Moves CurrentRow to the next row, reading the next extent at an extent's end;
// the first call makes the first row current. A read that failed is reported
// here, when its extent is needed. A step past the last row is S_OK and reads
// nothing.
HRESULT NextScratchRow(ScratchReader* reader);
// Ends all I/O, closes (and so deletes) the file and frees the reader.
void CloseScratchReader(ScratchReader* reader);
