// Private growable heaps and page-aligned block memory.
#pragma once

#include <cstddef>
#include <cstdint>

namespace plat {

struct HeapObject;
using HeapHandle = HeapObject*;

// A private heap, safe for use from several threads. Null on failure.
HeapHandle HeapCreate();
// Null on failure (last error ERROR_NOT_ENOUGH_MEMORY).
void* HeapAlloc(HeapHandle heap, size_t bytes);
bool HeapFree(HeapHandle heap, void* block);
// Frees every block still allocated from the heap. Null is ignored.
void HeapDestroy(HeapHandle heap);

// Page-aligned, zeroed memory (VirtualAlloc's MEM_COMMIT). Null on failure.
void* PageAlloc(size_t bytes);
void PageFree(void* block, size_t bytes);

}  // namespace plat
