// Reading a run back from its scratch file, one row at a time.
//
// The file is read in extents of the reader's size (the slots' BufferSize) at
// offsets that are multiples of it, whatever size the run was written in: the
// rows lie back to back from offset 0, so only the stream matters. Rows are
// handed out where they lie in the current extent; only a row split between
// two extents is put together in RowBuffer. While the current extent is
// consumed, the next one is being read into the other slot. The reader knows
// how many rows the run has, so it never mistakes the undefined bytes after
// the last row for rows, and a file that ends too early is an error rather
// than a short run. The read-ahead past the last extent finds the end of the
// file, which is no error.
#include <new>

#include "platform/stream_copy.h"
#include "scratch/scratch_reader_state.h"

namespace {

HRESULT IssueRead(ScratchReader::State* state, IoSlot* slot) {
  slot->Io.Offset = state->NextReadOffset;
  if (!plat::StartFileRead(state->File, slot->Buffer, slot->BufferSize, &slot->Io)) {
    return plat::HResultFromLastError();
  }
  state->NextReadOffset += slot->BufferSize;
  return S_OK;
}

// The data of the run ended before its last row.
constexpr HRESULT kRunTruncated = HRESULT_FROM_WIN32(ERROR_HANDLE_EOF);

// Makes the next extent current. Called when CurrentRow has reached ExtentEnd
// and rows remain: the row at CurrentRow is the next one to hand out, whole
// in the new extent or split with CarryBytes of it at the end of the old one.
HRESULT ReadNextScratchExtent(ScratchReader* reader) {
  ScratchReader::State* state = reader->Private;
  const uint32_t width = state->RowWidth;
  if (state->CarryBytes != 0) {
    plat::CopyBytes(state->RowBuffer.get(), reader->CurrentRow, state->CarryBytes);
  }
  IoSlot* slot = state->CurrentSlot;
  uint32_t bytes = 0;
  if (!plat::WaitForIo(state->File, &slot->Io, &bytes)) {
    if (plat::GetLastError() != ERROR_HANDLE_EOF) return plat::HResultFromLastError();
    return kRunTruncated;
  }
  reader->ExtentStart = slot->Buffer;
  reader->CurrentRow = slot->Buffer;
  reader->RowInBuffer = false;

  // The old extent's slot is free now: read ahead into it.
  state->CurrentSlot = slot == &state->SlotA ? &state->SlotB : &state->SlotA;
  HRESULT hr = IssueRead(state, state->CurrentSlot);
  if (FAILED(hr)) return hr;

  // The file runs on without gaps to the end of the run, and the read-ahead
  // has already moved on by a whole read extent: a short transfer that does
  // not hold the rest of the run would misplace every row after it.
  const uint64_t needed = (uint64_t{state->RowsLeft} + 1) * width - state->CarryBytes;
  if (bytes != slot->BufferSize && bytes < needed) return kRunTruncated;

  if (state->CarryBytes != 0) {
    const uint32_t rest = width - state->CarryBytes;
    plat::CopyBytes(state->RowBuffer.get() + state->CarryBytes, reader->ExtentStart, rest);
    bytes -= rest;
    reader->ExtentStart += rest;
    reader->CurrentRow = state->RowBuffer.get();
    reader->RowInBuffer = true;
  }
  state->CarryBytes = bytes % width;
  reader->ExtentEnd = reader->ExtentStart + (bytes - state->CarryBytes);
  return S_OK;
}

}  // namespace

HRESULT StartScratchRead(ScratchReader* reader, uint32_t extentBytes) {
  ScratchReader::State* state = reader->Private;
  if (state->SlotA.Buffer != nullptr) return E_UNEXPECTED;  // Started before.
  // A split row's rest and the next row whole must fit one extent; and so a
  // row is never split over more than two extents.
  if (extentBytes == 0 || extentBytes % plat::kFileAlignment != 0 ||
      extentBytes / 2 < state->RowWidth) {
    return E_INVALIDARG;
  }
  HRESULT hr = InitIoSlot(&state->SlotA, extentBytes);
  if (SUCCEEDED(hr)) hr = InitIoSlot(&state->SlotB, extentBytes);
  if (FAILED(hr)) return hr;
  state->CurrentSlot = &state->SlotA;
  state->NextReadOffset = 0;
  return IssueRead(state, &state->SlotA);
}

HRESULT NextScratchRow(ScratchReader* reader) {
  ScratchReader::State* state = reader->Private;
  // Stepping past the last row (the merge does so before it counts the row
  // off) needs no data.
  if (state->RowsLeft == 0) return S_OK;
  --state->RowsLeft;
  reader->CurrentRow += state->RowWidth;
  if (reader->RowInBuffer) {
    // The row after a split row is the first whole row of the new extent.
    reader->CurrentRow = reader->ExtentStart;
    reader->RowInBuffer = false;
  }
  if (reader->CurrentRow == reader->ExtentEnd) return ReadNextScratchExtent(reader);
  return S_OK;
}

void CloseScratchReader(ScratchReader* reader) {
  if (reader == nullptr) return;
  ScratchReader::State* state = reader->Private;
  if (state != nullptr) {
    // Closing waits for the reads in flight, so the buffers are free to go.
    plat::CloseFile(state->File);
    FreeIoSlot(&state->SlotB);
    FreeIoSlot(&state->SlotA);
    delete state;
  }
  delete reader;
}
