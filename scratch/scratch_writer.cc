// Writing a sorted run to a new scratch file.
//
// The rows go back to back, in the order given, into 2 MiB extents at
// extent-aligned offsets; a row that does not fit the rest of an extent is split,
// its first part ending that extent and its rest starting the next one. The
// bytes after the last row of the last extent are undefined. Two buffers
// alternate: one is filled while the other's write is in flight.
//
// Nothing of a failed or abandoned write stays in the area: the reserved name
// is removed when the file cannot be opened, and once open the file has no
// name and vanishes when closed.
#include <algorithm>
#include <new>

#include "platform/file_system.h"
#include "platform/stream_copy.h"
#include "scratch/io_slot.h"
#include "scratch/scratch_reader_state.h"
#include "scratch/scratch_run_writer.h"

// Invariants: while Filling, Slots[Current] has no write in flight and its
// first Used bytes are rows not yet written; otherwise Used is 0 and the
// slot may still be writing its previous extent. Offset is the file offset of
// the extent Slots[Current] fills next.
struct ScratchRunWriter {
  plat::FileHandle File = nullptr;
  IoSlot Slots[2];
  int Current = 0;
  bool Filling = false;
  uint32_t Used = 0;
  uint64_t Offset = 0;
  uint32_t RowWidth = 0;
  uint32_t RowCount = 0;
  HRESULT Failure = S_OK;  // The first failure; every later call returns it.
};

namespace {

// The reader completes a split row and then takes the next row from the same
// extent; rows up to half an extent leave room for at least one whole row there.
constexpr uint32_t kWidestRow = ScratchExtentSize / 2;

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

// Issues the write of the current extent, whole, and moves to the other slot.
HRESULT WriteCurrentExtent(ScratchRunWriter* w) {
  IoSlot& slot = w->Slots[w->Current];
  slot.Io.Offset = w->Offset;
  if (!plat::StartFileWrite(w->File, slot.Buffer, ScratchExtentSize, &slot.Io)) {
    return plat::HResultFromLastError();
  }
  w->Offset += ScratchExtentSize;
  w->Current ^= 1;
  w->Filling = false;
  w->Used = 0;
  return S_OK;
}

// Waits for every write in flight. The first failure among them, if any.
HRESULT WaitForWrites(ScratchRunWriter* w) {
  HRESULT hr = S_OK;
  for (IoSlot& slot : w->Slots) {
    const HRESULT finished = FinishWrite(w->File, &slot);
    if (SUCCEEDED(hr)) hr = finished;
  }
  return hr;
}

void FreeWriter(ScratchRunWriter* w) {
  FreeIoSlot(&w->Slots[1]);
  FreeIoSlot(&w->Slots[0]);
  delete w;
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
  // The first NextScratchRow steps CurrentRow onto ExtentEnd and so loads the
  // first extent; RowBuffer gives both a valid address until then.
  made->CurrentRow = rowBuffer;
  made->ExtentStart = rowBuffer;
  made->ExtentEnd = rowBuffer + rowWidth;
  *reader = made;
  return S_OK;
}

}  // namespace

HRESULT BeginScratchRun(ScratchAreaList* list, uint32_t rowWidth, uint64_t expectedBytes,
                        ScratchRunWriter** writer) {
  if (list == nullptr || writer == nullptr) return E_POINTER;
  *writer = nullptr;
  if (rowWidth == 0 || rowWidth > kWidestRow || list->Areas.empty()) return E_INVALIDARG;

  auto* w = new (std::nothrow) ScratchRunWriter;
  if (w == nullptr) return E_OUTOFMEMORY;
  std::u16string name;
  HRESULT hr = MakeScratchFileName(list, TakeNextArea(list), &name);
  if (FAILED(hr)) {
    delete w;
    return hr;
  }
  ++list->NextArea;

  hr = InitIoSlot(&w->Slots[0], ScratchExtentSize);
  if (SUCCEEDED(hr)) hr = InitIoSlot(&w->Slots[1], ScratchExtentSize);
  if (SUCCEEDED(hr)) {
    if (!list->PrivilegeTried) EnableVolumePrivilegeOnce(list);
    w->File = plat::OpenTransientFile(name);
    if (w->File == nullptr) hr = plat::HResultFromLastError();
  }
  if (FAILED(hr)) {
    plat::DeleteFile(name);
    FreeWriter(w);
    return hr;
  }
  // Pre-sizing only spares the file system work; a refusal is no failure.
  if (expectedBytes != 0) plat::SetFileSize(w->File, expectedBytes);
  w->RowWidth = rowWidth;
  *writer = w;
  return S_OK;
}

HRESULT AppendScratchRow(ScratchRunWriter* w, const uint8_t* row) {
  if (FAILED(w->Failure)) return w->Failure;
  if (w->RowCount == UINT32_MAX) return w->Failure = E_INVALIDARG;  // Counts are 32-bit.
  for (uint32_t done = 0; done < w->RowWidth;) {
    IoSlot& slot = w->Slots[w->Current];
    if (!w->Filling) {
      const HRESULT hr = FinishWrite(w->File, &slot);
      if (FAILED(hr)) return w->Failure = hr;
      w->Filling = true;
    }
    const uint32_t part = std::min(w->RowWidth - done, ScratchExtentSize - w->Used);
    plat::CopyBytes(slot.Buffer + w->Used, row + done, part);
    w->Used += part;
    done += part;
    if (w->Used == ScratchExtentSize) {
      const HRESULT hr = WriteCurrentExtent(w);
      if (FAILED(hr)) return w->Failure = hr;
    }
  }
  ++w->RowCount;
  return S_OK;
}

HRESULT FinishScratchRun(ScratchRunWriter* w, uint32_t* rowCount, ScratchReader** reader) {
  *reader = nullptr;
  HRESULT hr = w->Failure;
  if (SUCCEEDED(hr) && w->Used != 0) hr = WriteCurrentExtent(w);
  const HRESULT written = WaitForWrites(w);
  if (SUCCEEDED(hr)) hr = written;
  if (SUCCEEDED(hr)) hr = MakeReader(w->File, w->RowCount, w->RowWidth, reader);
  if (FAILED(hr)) {
    plat::CloseFile(w->File);
  } else {
    *rowCount = w->RowCount;
  }
  FreeWriter(w);
  return hr;
}

void AbandonScratchRun(ScratchRunWriter* w) {
  if (w == nullptr) return;
  WaitForWrites(w);
  plat::CloseFile(w->File);
  FreeWriter(w);
}
