// Writing a sorted run to a new scratch file.
//
// The rows go back to back, in the order given, into 2 MiB blocks at
// block-aligned offsets; a row that does not fit the rest of a block is split,
// its first part ending that block and its rest starting the next one. The
// bytes after the last row of the last block are undefined. Two buffers
// alternate: one is filled while the other's write is in flight.
//
// Nothing of a failed or abandoned write stays in the area: the reserved name
// is removed when the file cannot be opened, and once open the file has no
// name and vanishes when closed.
#include <new>

#include "platform/file_system.h"
#include "platform/stream_copy.h"
#include "scratch/io_slot.h"
#include "scratch/scratch_reader_state.h"

namespace {

// The reader completes a split row and then takes the next row from the same
// block; rows up to half a block leave room for at least one whole row there.
constexpr uint32_t kWidestRow = ScratchBlockSize / 2;

// Windows asks once for the right to set a file's valid-data length, which
// spares the zero-filling of pre-sized files. POSIX file systems do not
// zero-fill ahead of a write, so the step has nothing to do here.
void EnableVolumePrivilegeOnce(ScratchAreaList* list) {
  list->PrivilegeTried = true;
}

// Waits for the slot's write, if one was started. The write's HRESULT.
HRESULT FinishWrite(plat::FileHandle file, IoSlot* slot) {
  uint32_t bytes = 0;
  return plat::WaitForIo(file, &slot->Io, &bytes) ? S_OK : plat::HResultFromLastError();
}

// Writes the rows block by block. S_OK, S_FALSE when `inputEnded` was found
// set before a block, or the failure of a write. Every write has completed on
// return.
HRESULT WriteBlocks(plat::FileHandle file, IoSlot (&slots)[2], uint8_t* const* rowPointers,
                    uint32_t rowCount, uint32_t rowWidth, const std::atomic<bool>* inputEnded) {
  HRESULT hr = S_OK;
  uint64_t offset = 0;
  uint32_t next = 0;     // The next row to copy, or the row whose rest is pending.
  uint32_t rowDone = 0;  // Bytes of row `next` already in the previous block.
  int current = 0;
  while (next < rowCount) {
    if (inputEnded != nullptr && inputEnded->load(std::memory_order_acquire)) {
      hr = S_FALSE;
      break;
    }
    IoSlot& slot = slots[current];
    hr = FinishWrite(file, &slot);
    if (FAILED(hr)) break;
    uint8_t* block = slot.Buffer;
    uint32_t used = 0;
    if (rowDone != 0) {
      used = rowWidth - rowDone;
      plat::CopyBytes(block, rowPointers[next] + rowDone, used);
      ++next;
      rowDone = 0;
    }
    while (next < rowCount && ScratchBlockSize - used >= rowWidth) {
      plat::CopyBytes(block + used, rowPointers[next], rowWidth);
      used += rowWidth;
      ++next;
    }
    if (next < rowCount && used < ScratchBlockSize) {
      rowDone = ScratchBlockSize - used;
      plat::CopyBytes(block + used, rowPointers[next], rowDone);
    }
    slot.Io.Offset = offset;
    if (!plat::StartFileWrite(file, block, ScratchBlockSize, &slot.Io)) {
      hr = plat::HResultFromLastError();
      break;
    }
    offset += ScratchBlockSize;
    current ^= 1;
  }
  for (IoSlot& slot : slots) {
    const HRESULT finished = FinishWrite(file, &slot);
    if (hr == S_OK) hr = finished;
  }
  return hr;
}

HRESULT MakeReader(plat::FileHandle file, uint32_t rowCount, uint32_t rowWidth,
                   ScratchReader** reader) {
  auto* made = new (std::nothrow) ScratchReader;
  auto* state = new (std::nothrow) ScratchReader::State;
  uint8_t* rowBuffer = new (std::nothrow) uint8_t[rowWidth];
  if (made == nullptr || state == nullptr || rowBuffer == nullptr) {
    delete made;
    delete state;
    delete[] rowBuffer;
    return E_OUTOFMEMORY;
  }
  state->File = file;
  state->RowBuffer.reset(rowBuffer);
  state->RowWidth = rowWidth;
  state->RowsLeft = rowCount;
  made->Private = state;
  // The first NextScratchRow steps CurrentRow onto BlockEnd and so loads the
  // first block; RowBuffer gives both a valid address until then.
  made->CurrentRow = rowBuffer;
  made->BlockStart = rowBuffer;
  made->BlockEnd = rowBuffer + rowWidth;
  *reader = made;
  return S_OK;
}

}  // namespace

HRESULT WriteRunToScratchFile(ScratchAreaList* list, uint8_t* const* rowPointers, uint32_t rowCount,
                              uint32_t rowWidth, const std::atomic<bool>* inputEnded,
                              ScratchReader** reader) {
  if (list == nullptr || reader == nullptr || (rowPointers == nullptr && rowCount != 0)) {
    return E_POINTER;
  }
  *reader = nullptr;
  if (rowWidth == 0 || rowWidth > kWidestRow || list->Areas.empty()) return E_INVALIDARG;

  std::u16string name;
  HRESULT hr = MakeScratchFileName(list, TakeNextArea(list), &name);
  if (FAILED(hr)) return hr;
  ++list->NextArea;

  IoSlot slots[2];
  hr = InitIoSlot(&slots[0]);
  if (SUCCEEDED(hr)) hr = InitIoSlot(&slots[1]);
  if (FAILED(hr)) {
    FreeIoSlot(&slots[0]);
    plat::DeleteFile(name);
    return hr;
  }
  if (!list->PrivilegeTried) EnableVolumePrivilegeOnce(list);

  plat::FileHandle file = plat::OpenTransientFile(name);
  if (file == nullptr) {
    hr = plat::HResultFromLastError();
    plat::DeleteFile(name);
  } else {
    // Pre-sizing only spares the file system work; a refusal is no failure.
    plat::SetFileSize(file, static_cast<uint64_t>(rowCount) * rowWidth);
    hr = WriteBlocks(file, slots, rowPointers, rowCount, rowWidth, inputEnded);
    if (hr == S_OK) hr = MakeReader(file, rowCount, rowWidth, reader);
    if (hr != S_OK) plat::CloseFile(file);
  }
  FreeIoSlot(&slots[1]);
  FreeIoSlot(&slots[0]);
  return hr;
}
