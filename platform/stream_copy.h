// The block copy used for every copy of more than 128 bytes.
#pragma once

#include <cstddef>

namespace plat {

// Copies `bytes` bytes; the ranges must not overlap. 64-byte blocks with
// software prefetch; non-temporal stores from 64 KiB, so that large copies do
// not evict the cache; from 201,728 bytes the source is first touched in
// 8 KiB chunks. Copies of 128 bytes or less should use memcpy instead.
void StreamCopy(void* destination, const void* source, size_t bytes);

// memcpy for short copies, StreamCopy above 128 bytes.
void CopyBytes(void* destination, const void* source, size_t bytes);

}  // namespace plat
