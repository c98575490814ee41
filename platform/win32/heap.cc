// Private heaps are the system's own growable, serialized heaps. Each block
// starts with a header naming its heap, so that a block handed to the wrong
// heap is refused (ERROR_INVALID_PARAMETER) as on POSIX, where the system
// would corrupt the heap instead. Page memory is VirtualAlloc's: committed,
// page-aligned, zero-filled.
#include "platform/heap.h"

#include <cstdint>

#include "platform/com_types.h"
#include "platform/fault_injection.h"

namespace plat {

struct HeapObject {
  HANDLE heap;
};

namespace {

// 16 bytes, so that blocks keep the alignment the system heap gives.
struct alignas(16) BlockHeader {
  HeapObject* owner;
};

}  // namespace

HeapHandle HeapCreate() {
  if (ShouldFail(FaultSite::kHeapCreate)) return nullptr;
  HANDLE system = ::HeapCreate(0, 0, 0);
  if (!system) return nullptr;
  auto* heap = static_cast<HeapObject*>(::HeapAlloc(system, 0, sizeof(HeapObject)));
  if (!heap) {
    ::HeapDestroy(system);
    ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  heap->heap = system;
  return heap;
}

void* HeapAlloc(HeapHandle heap, size_t bytes) {
  if (heap == nullptr) {
    ::SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (ShouldFail(FaultSite::kHeapAlloc)) return nullptr;
  if (bytes > SIZE_MAX - sizeof(BlockHeader)) {
    ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  auto* header = static_cast<BlockHeader*>(::HeapAlloc(heap->heap, 0, sizeof(BlockHeader) + bytes));
  if (header == nullptr) {
    ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  header->owner = heap;
  return header + 1;
}

bool HeapFree(HeapHandle heap, void* block) {
  if (heap == nullptr) {
    ::SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  if (block == nullptr) return true;
  BlockHeader* header = static_cast<BlockHeader*>(block) - 1;
  if (header->owner != heap) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  header->owner = nullptr;  // A second free of the block is refused too.
  return ::HeapFree(heap->heap, 0, header) != FALSE;
}

// The HeapObject lives in its own heap and goes with it.
void HeapDestroy(HeapHandle heap) {
  if (heap != nullptr) ::HeapDestroy(heap->heap);
}

void* PageAlloc(size_t bytes) {
  if (bytes == 0) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (ShouldFail(FaultSite::kPageAlloc)) return nullptr;
  return ::VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
}

void PageFree(void* block, size_t bytes) {
  if (block != nullptr && bytes != 0) ::VirtualFree(block, 0, MEM_RELEASE);
}

}  // namespace plat
