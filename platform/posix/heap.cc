// A private heap is a list of blocks taken from the C heap. Each block starts
// with a small header that links it into its heap's list and names its heap,
// so allocation and freeing are constant time, cost no allocation of their
// own, and a block from another heap is recognised and refused. Destroying a
// heap walks the list and frees whatever is left. Blocks of row data are
// often megabytes: the header is the only overhead and is paid per block.
// Page memory comes from anonymous mappings, which are page-aligned and
// zero-filled.
#include "platform/heap.h"

#include <sys/mman.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <new>

#include "platform/com_types.h"
#include "platform/fault_injection.h"

namespace plat {

namespace {

// Keeps the data after it aligned as malloc's would be.
struct alignas(16) BlockHeader {
  HeapObject* owner;
  BlockHeader* previous;
  BlockHeader* next;
};

}  // namespace

struct HeapObject {
  std::mutex mutex;
  BlockHeader* first = nullptr;  // GUARDED_BY(mutex)
};

HeapHandle HeapCreate() {
  if (ShouldFail(FaultSite::kHeapCreate)) return nullptr;
  auto* heap = new (std::nothrow) HeapObject;
  if (heap == nullptr) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return heap;
}

void* HeapAlloc(HeapHandle heap, size_t bytes) {
  if (heap == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (ShouldFail(FaultSite::kHeapAlloc)) return nullptr;
  if (bytes > SIZE_MAX - sizeof(BlockHeader)) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  auto* header = static_cast<BlockHeader*>(std::malloc(sizeof(BlockHeader) + bytes));
  if (header == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  header->owner = heap;
  header->previous = nullptr;
  {
    std::lock_guard<std::mutex> lock(heap->mutex);
    header->next = heap->first;
    if (heap->first != nullptr) heap->first->previous = header;
    heap->first = header;
  }
  return header + 1;
}

bool HeapFree(HeapHandle heap, void* block) {
  if (heap == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  if (block == nullptr) return true;
  BlockHeader* header = static_cast<BlockHeader*>(block) - 1;
  {
    std::lock_guard<std::mutex> lock(heap->mutex);
    if (header->owner != heap) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return false;
    }
    if (header->previous != nullptr) {
      header->previous->next = header->next;
    } else {
      heap->first = header->next;
    }
    if (header->next != nullptr) header->next->previous = header->previous;
    header->owner = nullptr;
  }
  std::free(header);
  return true;
}

void HeapDestroy(HeapHandle heap) {
  if (heap == nullptr) return;
  BlockHeader* header = heap->first;
  while (header != nullptr) {
    BlockHeader* next = header->next;
    std::free(header);
    header = next;
  }
  delete heap;
}

void* PageAlloc(size_t bytes) {
  if (bytes == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (ShouldFail(FaultSite::kPageAlloc)) return nullptr;
  void* block = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (block == MAP_FAILED) {
    SetLastErrorFromErrno(errno);
    return nullptr;
  }
  return block;
}

void PageFree(void* block, size_t bytes) {
  if (block != nullptr && bytes != 0) munmap(block, bytes);
}

}  // namespace plat
