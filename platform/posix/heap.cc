// A private heap is a list of blocks. Each block starts with a small header
// that links it into its heap's list and names its heap, so allocation and
// freeing are constant time, cost no allocation of their own, and a block
// from another heap is recognised and refused. Destroying a heap walks the
// list and frees whatever is left.
//
// Small blocks come from the C heap. Large blocks (batches of rows, about a
// megabyte each) are anonymous mappings that the heap keeps when they are
// freed: a new mapping costs a page fault per page on first touch and a
// munmap on release, and the engine frees and allocates blocks of the same
// size all the time while it spills. A freed large block waits on an idle
// list of its size class and is handed out again for a request of that
// class that it can hold.
//
// The idle lists must not make the process bigger than it was without them:
// the heap's mapped bytes (in use plus idle) never exceed the largest number
// of bytes it had in use recently, that is in the current or the previous
// epoch of kEpochEvents large allocations and frees. A new mapping or the end
// of an epoch unmaps idle blocks until that holds again, so a heap whose use
// has fallen gives the memory back within two epochs. Blocks of 2 MiB and
// more are aligned to 2 MiB and asked for transparent huge pages.
//
// Large blocks below 2 MiB, and page memory below 2 MiB, are carved one
// after the other out of 32 MiB slabs: 2 MiB-aligned mappings asked for
// huge pages. A first touch costs one fault per 2 MiB instead of one per
// page, which on a virtual machine whose every fault traps to the host
// decides how fast the input can be copied in (1 GiB of 1 MB batches: 2.7 s
// of faults in separate mappings, 1.7 s in slabs). A carved block is still a
// mapping of its own to everyone else: it is unmapped alone, which splits
// the slab's mapping and its huge pages around it. The part of a slab never
// carved is given back when the next slab is needed and when its heap is
// destroyed.
//
// Page memory comes from anonymous mappings, which are page-aligned and
// zero-filled; from 2 MiB on they are asked for huge pages too (the scratch
// I/O buffers: one fault per 2 MiB instead of 512 when a buffer is filled).
#include "platform/heap.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstdlib>
#include <new>
#include <utility>

#include "platform/com_types.h"
#include "platform/fault_injection.h"
#include "platform/posix/mutex.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define TOLVARINE_POISON(address, bytes) ASAN_POISON_MEMORY_REGION(address, bytes)
#define TOLVARINE_UNPOISON(address, bytes) ASAN_UNPOISON_MEMORY_REGION(address, bytes)
#else
#define TOLVARINE_POISON(address, bytes) ((void)(address), (void)(bytes))
#define TOLVARINE_UNPOISON(address, bytes) ((void)(address), (void)(bytes))
#endif

namespace plat {

namespace {

// Keeps the data after it aligned as malloc's would be.
struct alignas(16) BlockHeader {
  HeapObject* owner;  // Null while the block is idle or freed.
  BlockHeader* previous;
  BlockHeader* next;
  size_t mapped;  // Length of the block's mapping; 0 for a block from the C heap.
};

// Below this a block comes from the C heap (glibc's own mapping threshold).
constexpr size_t kLargeBlock = size_t{1} << 17;
constexpr size_t kHugePage = size_t{2} << 20;
// Size classes: eight per power of two from kLargeBlock up, so a block that
// fits a request of its class is at most an eighth larger than the request.
constexpr int kClassesPerDoubling = 8;
constexpr int kClassCount = (64 - 17) * kClassesPerDoubling;
constexpr uint32_t kEpochEvents = 64;

size_t PageSize() {
  static const size_t size = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  return size;
}

int SizeClass(size_t mapped) {
  const int log2 = std::bit_width(mapped) - 1;  // >= 17, as mapped >= kLargeBlock.
  const int step = static_cast<int>((mapped >> (log2 - 3)) & (kClassesPerDoubling - 1));
  return (log2 - 17) * kClassesPerDoubling + step;
}

// A 2 MiB-aligned mapping asked for huge pages; `mapped` is a multiple of
// the page size. Null on failure, with errno set by mmap.
void* MapHugeAligned(size_t mapped) {
  const size_t padded = mapped + kHugePage - PageSize();
  void* area = mmap(nullptr, padded, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (area == MAP_FAILED) return nullptr;
  const uintptr_t start = reinterpret_cast<uintptr_t>(area);
  const uintptr_t aligned = (start + kHugePage - 1) & ~(kHugePage - 1);
  if (aligned > start) munmap(area, aligned - start);
  const size_t tail = start + padded - (aligned + mapped);
  if (tail > 0) munmap(reinterpret_cast<void*>(aligned + mapped), tail);
  madvise(reinterpret_cast<void*>(aligned), mapped, MADV_HUGEPAGE);  // Only advice.
  return reinterpret_cast<void*>(aligned);
}

// Carves mappings below 2 MiB out of huge-page slabs, one after the other.
class Slab {
 public:
  Slab() = default;
  Slab(const Slab&) = delete;
  Slab& operator=(const Slab&) = delete;
  ~Slab() { Release(); }

  // `mapped` bytes (a multiple of the page size, below kHugePage) that may
  // be unmapped alone. Null on failure, with errno set by mmap.
  void* Carve(size_t mapped) {
    MutexLock lock(mutex_);
    if (end_ - next_ < mapped) {
      ReleaseLocked();
      void* slab = MapHugeAligned(kSlabBytes);
      if (slab == nullptr) return nullptr;
      next_ = reinterpret_cast<uintptr_t>(slab);
      end_ = next_ + kSlabBytes;
    }
    void* block = reinterpret_cast<void*>(next_);
    next_ += mapped;
    return block;
  }

  // Unmaps the part never carved.
  void Release() {
    MutexLock lock(mutex_);
    ReleaseLocked();
  }

 private:
  static constexpr size_t kSlabBytes = size_t{32} << 20;

  void ReleaseLocked() REQUIRES(mutex_) {
    if (end_ > next_) munmap(reinterpret_cast<void*>(next_), end_ - next_);
    next_ = end_ = 0;
  }

  Mutex mutex_;
  uintptr_t next_ GUARDED_BY(mutex_) = 0;
  uintptr_t end_ GUARDED_BY(mutex_) = 0;
};

// A mapping of `mapped` bytes (a multiple of the page size): carved from
// `slab` below 2 MiB, else a huge-page mapping of its own. Null on failure,
// with errno set by mmap.
void* MapBlock(Slab* slab, size_t mapped) {
  return mapped < kHugePage ? slab->Carve(mapped) : MapHugeAligned(mapped);
}

// Page memory of the whole library. Its destruction (at unload) gives back
// only the part never carved; pages handed out are mappings of their own.
Slab& PageSlab() {
  static Slab slab;
  return slab;
}

void UnmapBlock(BlockHeader* header) {
  const size_t mapped = header->mapped;
  TOLVARINE_UNPOISON(header, mapped);
  munmap(header, mapped);
}

}  // namespace

struct HeapObject {
  Slab slab;  // Where the heap's large blocks below 2 MiB come from.
  Mutex mutex;
  BlockHeader* first GUARDED_BY(mutex) = nullptr;  // Blocks in use.
  // Idle large blocks, singly linked through next.
  std::array<BlockHeader*, kClassCount> idle GUARDED_BY(mutex){};
  size_t idleBytes GUARDED_BY(mutex) = 0;
  size_t inUseBytes GUARDED_BY(mutex) = 0;  // Large blocks only.
  size_t peakThisEpoch GUARDED_BY(mutex) = 0;
  size_t peakLastEpoch GUARDED_BY(mutex) = 0;
  uint32_t epochEvents GUARDED_BY(mutex) = 0;
  int highestIdleClass GUARDED_BY(mutex) = -1;  // No idle list above it.

  void Link(BlockHeader* header) REQUIRES(mutex) {
    header->owner = this;
    header->previous = nullptr;
    header->next = first;
    if (first != nullptr) first->previous = header;
    first = header;
  }

  void Unlink(BlockHeader* header) REQUIRES(mutex) {
    if (header->previous != nullptr) {
      header->previous->next = header->next;
    } else {
      first = header->next;
    }
    if (header->next != nullptr) header->next->previous = header->previous;
    header->owner = nullptr;
  }

  // Counts a large allocation or free; at the end of an epoch the peak of
  // the one before is forgotten.
  void CountEvent() REQUIRES(mutex) {
    if (++epochEvents < kEpochEvents) return;
    epochEvents = 0;
    peakLastEpoch = peakThisEpoch;
    peakThisEpoch = inUseBytes;
  }

  // An idle block of the class of `mapped` that is at least that long, taken
  // off its list; null if there is none.
  BlockHeader* TakeIdle(size_t mapped) REQUIRES(mutex) {
    BlockHeader** link = &idle[SizeClass(mapped)];
    while (*link != nullptr && (*link)->mapped < mapped) link = &(*link)->next;
    BlockHeader* header = *link;
    if (header != nullptr) {
      *link = header->next;
      idleBytes -= header->mapped;
    }
    return header;
  }

  // Moves idle blocks onto `evicted` (largest classes first) until in-use
  // and idle bytes together are within the recent peak. The caller unmaps
  // them after releasing the mutex.
  void Trim(BlockHeader*& evicted) REQUIRES(mutex) {
    const size_t limit = std::max(peakThisEpoch, peakLastEpoch);
    while (idleBytes > 0 && inUseBytes + idleBytes > limit) {
      while (idle[highestIdleClass] == nullptr) --highestIdleClass;
      BlockHeader* header = idle[highestIdleClass];
      idle[highestIdleClass] = header->next;
      idleBytes -= header->mapped;
      header->next = evicted;
      evicted = header;
    }
  }

  // Every idle block, for the caller to unmap.
  BlockHeader* TakeAllIdle() REQUIRES(mutex) {
    BlockHeader* all = nullptr;
    for (BlockHeader*& list : idle) {
      while (BlockHeader* header = list) {
        list = header->next;
        header->next = all;
        all = header;
      }
    }
    idleBytes = 0;
    highestIdleClass = -1;
    return all;
  }
};

namespace {

void UnmapAll(BlockHeader* header) {
  while (header != nullptr) {
    BlockHeader* next = header->next;
    UnmapBlock(header);
    header = next;
  }
}

BlockHeader* AllocateLarge(HeapObject* heap, size_t mapped) {
  BlockHeader* evicted = nullptr;
  BlockHeader* header;
  {
    MutexLock lock(heap->mutex);
    heap->CountEvent();
    header = heap->TakeIdle(mapped);
    // A new mapping counts as in use from here, so that idle blocks make
    // room for it before it exists.
    heap->inUseBytes += header != nullptr ? header->mapped : mapped;
    heap->peakThisEpoch = std::max(heap->peakThisEpoch, heap->inUseBytes);
    heap->Trim(evicted);
    if (header != nullptr) {
      TOLVARINE_UNPOISON(header, header->mapped);
      heap->Link(header);
    }
  }
  UnmapAll(evicted);
  if (header != nullptr) return header;
  header = static_cast<BlockHeader*>(MapBlock(&heap->slab, mapped));
  if (header == nullptr) {
    // Idle blocks of other sizes may be what the system is short of.
    {
      MutexLock lock(heap->mutex);
      evicted = heap->TakeAllIdle();
    }
    if (evicted != nullptr) {
      UnmapAll(evicted);
      header = static_cast<BlockHeader*>(MapBlock(&heap->slab, mapped));
    }
  }
  MutexLock lock(heap->mutex);
  if (header == nullptr) {
    heap->inUseBytes -= mapped;
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  header->mapped = mapped;
  heap->Link(header);
  return header;
}

}  // namespace

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
  if (bytes > SIZE_MAX - sizeof(BlockHeader) - kHugePage) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  const size_t total = sizeof(BlockHeader) + bytes;
  if (total >= kLargeBlock) {
    const size_t mapped = (total + PageSize() - 1) & ~(PageSize() - 1);
    BlockHeader* header = AllocateLarge(heap, mapped);
    return header != nullptr ? header + 1 : nullptr;
  }
  auto* header = static_cast<BlockHeader*>(std::malloc(total));
  if (header == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  header->mapped = 0;
  MutexLock lock(heap->mutex);
  heap->Link(header);
  return header + 1;
}

bool HeapFree(HeapHandle heap, void* block) {
  if (heap == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  if (block == nullptr) return true;
  BlockHeader* header = static_cast<BlockHeader*>(block) - 1;
  BlockHeader* evicted = nullptr;
  {
    MutexLock lock(heap->mutex);
    if (header->owner != heap) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return false;
    }
    heap->Unlink(header);
    if (header->mapped != 0) {
      const int sizeClass = SizeClass(header->mapped);
      heap->inUseBytes -= header->mapped;
      heap->CountEvent();
      header->next = heap->idle[sizeClass];
      heap->idle[sizeClass] = header;
      heap->idleBytes += header->mapped;
      heap->highestIdleClass = std::max(heap->highestIdleClass, sizeClass);
      TOLVARINE_POISON(header + 1, header->mapped - sizeof(BlockHeader));
      heap->Trim(evicted);
      header = nullptr;
    }
  }
  UnmapAll(evicted);
  std::free(header);
  return true;
}

void HeapDestroy(HeapHandle heap) {
  if (heap == nullptr) return;
  BlockHeader* header;
  BlockHeader* idle;
  {
    // Nothing else uses a heap being destroyed; the lock only shows that.
    MutexLock lock(heap->mutex);
    header = std::exchange(heap->first, nullptr);
    idle = heap->TakeAllIdle();
  }
  while (header != nullptr) {
    BlockHeader* next = header->next;
    if (header->mapped != 0) {
      UnmapBlock(header);
    } else {
      std::free(header);
    }
    header = next;
  }
  UnmapAll(idle);
  delete heap;
}

void* PageAlloc(size_t bytes) {
  if (bytes == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (ShouldFail(FaultSite::kPageAlloc)) return nullptr;
  if (bytes > SIZE_MAX - kHugePage) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  void* block = MapBlock(&PageSlab(), (bytes + PageSize() - 1) & ~(PageSize() - 1));
  if (block == nullptr) {
    SetLastErrorFromErrno(errno);
    return nullptr;
  }
  return block;
}

void PageFree(void* block, size_t bytes) {
  if (block != nullptr && bytes != 0) munmap(block, bytes);
}

}  // namespace plat
