// The block copy is tuned for moving batches of rows that are usually far
// larger than the cache:
// - under 64 bytes: 8-byte words through memcpy (a single unaligned move, safe
//   under the sanitizers), then a byte tail;
// - up to 64 KiB: 64-byte blocks with ordinary stores and a software prefetch
//   a few lines ahead; the destination is first aligned to 8 bytes, except
//   above 32 KiB where the alignment step did not pay off;
// - from 64 KiB: non-temporal stores after aligning the destination to 16
//   bytes, so that a large copy does not evict the working set, and a store
//   fence at the end so the copy is visible like ordinary stores;
// - from kBlockPrefetchBytes: the source is first read in 8 KiB chunks, one
//   byte per cache line, which streams it in faster than prefetch hints, and
//   each chunk is then copied with non-temporal stores.
// Without SSE2 the whole copy is memcpy.
#include "platform/stream_copy.h"

#include <cstdint>
#include <cstring>

#if defined(__x86_64__) || defined(__SSE2__)
#include <emmintrin.h>
#include <xmmintrin.h>
#define TOLVARINE_STREAM_COPY_SSE2 1
#endif

namespace plat {

#if TOLVARINE_STREAM_COPY_SSE2
namespace {

constexpr size_t kBlockBytes = 64;
constexpr size_t kUnalignedFrom = 32 * 1024;  // Exclusive.
constexpr size_t kNonTemporalFrom = 64 * 1024;
constexpr size_t kBlockPrefetchBytes = 201728;
constexpr size_t kChunkBytes = 8 * 1024;
constexpr size_t kPrefetchDistance = 4 * kBlockBytes;

using Byte = unsigned char;

// Fewer than 64 bytes.
void CopyTail(Byte* d, const Byte* s, size_t n) {
  while (n >= sizeof(uint64_t)) {
    uint64_t word;
    std::memcpy(&word, s, sizeof(word));
    std::memcpy(d, &word, sizeof(word));
    d += sizeof(word);
    s += sizeof(word);
    n -= sizeof(word);
  }
  while (n-- > 0) *d++ = *s++;
}

// Copies the few bytes that bring `d` to a multiple of `alignment`.
void AlignDestination(Byte*& d, const Byte*& s, size_t& n, uintptr_t alignment) {
  const size_t head =
      (alignment - (reinterpret_cast<uintptr_t>(d) & (alignment - 1))) & (alignment - 1);
  CopyTail(d, s, head);
  d += head;
  s += head;
  n -= head;
}

// Copies the whole 64-byte blocks of n; returns the bytes left over.
template <bool kNonTemporal>
size_t CopyBlocks(Byte*& d, const Byte*& s, size_t n) {
  for (; n >= kBlockBytes; n -= kBlockBytes, d += kBlockBytes, s += kBlockBytes) {
    // A prefetch never faults, so running ahead of the source's end is harmless.
    _mm_prefetch(reinterpret_cast<const char*>(s + kPrefetchDistance), _MM_HINT_NTA);
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16));
    const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 32));
    const __m128i e = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 48));
    auto* out = reinterpret_cast<__m128i*>(d);
    if constexpr (kNonTemporal) {
      _mm_stream_si128(out, a);
      _mm_stream_si128(out + 1, b);
      _mm_stream_si128(out + 2, c);
      _mm_stream_si128(out + 3, e);
    } else {
      _mm_storeu_si128(out, a);
      _mm_storeu_si128(out + 1, b);
      _mm_storeu_si128(out + 2, c);
      _mm_storeu_si128(out + 3, e);
    }
  }
  return n;
}

// Reads one byte per cache line of [s, s + n) so the lines are in cache.
void TouchSource(const Byte* s, size_t n) {
  unsigned sum = 0;
  for (size_t offset = 0; offset < n; offset += kBlockBytes) sum += s[offset];
  // Keeps the reads from being optimised away.
  volatile unsigned sink = sum;
  (void)sink;
}

}  // namespace

void StreamCopy(void* destination, const void* source, size_t bytes) {
  auto* d = static_cast<Byte*>(destination);
  auto* s = static_cast<const Byte*>(source);
  size_t n = bytes;
  if (n < kBlockBytes) {
    CopyTail(d, s, n);
    return;
  }
  if (n < kNonTemporalFrom) {
    if (n <= kUnalignedFrom) AlignDestination(d, s, n, 8);
    n = CopyBlocks<false>(d, s, n);
    CopyTail(d, s, n);
    return;
  }
  AlignDestination(d, s, n, 16);
  if (bytes >= kBlockPrefetchBytes) {
    while (n >= kChunkBytes) {
      TouchSource(s, kChunkBytes);
      CopyBlocks<true>(d, s, kChunkBytes);
      n -= kChunkBytes;
    }
  }
  n = CopyBlocks<true>(d, s, n);
  _mm_sfence();
  CopyTail(d, s, n);
}

#else

void StreamCopy(void* destination, const void* source, size_t bytes) {
  if (bytes != 0) std::memcpy(destination, source, bytes);
}

#endif

void CopyBytes(void* destination, const void* source, size_t bytes) {
  if (bytes == 0) return;
  if (bytes <= 128) {
    std::memcpy(destination, source, bytes);
  } else {
    StreamCopy(destination, source, bytes);
  }
}

}  // namespace plat
