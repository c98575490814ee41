#include "scratch/io_slot.h"

#include "platform/heap.h"

HRESULT InitIoSlot(IoSlot* slot, uint32_t bytes) {
  void* buffer = plat::PageAlloc(bytes);
  if (buffer == nullptr) return plat::HResultFromLastError();
  slot->Buffer = static_cast<uint8_t*>(buffer);
  slot->BufferSize = bytes;
  return S_OK;
}

void FreeIoSlot(IoSlot* slot) {
  if (slot->Buffer != nullptr) plat::PageFree(slot->Buffer, slot->BufferSize);
  slot->Buffer = nullptr;
  slot->BufferSize = 0;
}
