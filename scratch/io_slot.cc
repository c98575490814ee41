#include "scratch/io_slot.h"

#include "platform/heap.h"
#include "scratch/scratch_file.h"

HRESULT InitIoSlot(IoSlot* slot) {
  void* buffer = plat::PageAlloc(ScratchBlockSize);
  if (buffer == nullptr) return plat::HResultFromLastError();
  slot->Buffer = static_cast<uint8_t*>(buffer);
  slot->BufferSize = ScratchBlockSize;
  return S_OK;
}

void FreeIoSlot(IoSlot* slot) {
  if (slot->Buffer != nullptr) plat::PageFree(slot->Buffer, slot->BufferSize);
  slot->Buffer = nullptr;
  slot->BufferSize = 0;
}
