// The comparators and copiers that SelectColumnFunctions hands out, one per
// data type. Values may lie at any alignment inside a row, so every read goes
// through memcpy. Comparators return -1, 0 or 1 unless noted, and swapping
// their arguments reverses the sign.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

#include "platform/unaligned.h"

namespace keys {

using plat::Load;
using plat::Store;

template <class T>
int32_t ThreeWay(T left, T right) {
  return left < right ? -1 : left > right ? 1 : 0;
}

// Integers of every width, signed or not (the 64-bit ones, CY and FILETIME
// included: in little-endian order comparing the whole value is comparing
// the high words, signed or not as T is, then the low words unsigned).
template <class T>
int32_t CompareIntegers(const void* left, const void* right, uint32_t) {
  return ThreeWay(Load<T>(left), Load<T>(right));
}

// A total order over floating-point values, as sorting and duplicate
// elimination need: every NaN (whatever its sign and payload) equals every
// other NaN and sorts before every number; -0.0 equals +0.0.
template <class T>
int32_t CompareFloatValues(T left, T right) {
  const bool leftNaN = std::isnan(left);
  const bool rightNaN = std::isnan(right);
  if (leftNaN || rightNaN) return static_cast<int32_t>(rightNaN) - static_cast<int32_t>(leftNaN);
  return ThreeWay(left, right);
}

template <class T>
int32_t CompareFloats(const void* left, const void* right, uint32_t) {
  return CompareFloatValues(Load<T>(left), Load<T>(right));
}

// Automation dates in time order. The integer part counts days from
// 1899-12-30 and the fraction's magnitude is the time of day, also below
// zero: -1.25 is 06:00 and -1.75 18:00 on 1899-12-29, and -0.5 is the same
// instant as 0.5. NaNs as for CompareFloats.
int32_t CompareDates(const void* left, const void* right, uint32_t);

// False (0) before true (any other bit pattern).
int32_t CompareBooleans(const void* left, const void* right, uint32_t);

// Well-formed DECIMALs in numeric order; after them the malformed ones
// (scale above 28, or sign other than 0 and 0x80) in order of their bytes.
int32_t CompareDecimals(const void* left, const void* right, uint32_t);

// DB_NUMERIC: sign byte, then larger scale first, then magnitude (inverted
// for negative values). The precision is not compared.
int32_t CompareNumerics(const void* left, const void* right, uint32_t);

// The 16 bytes as unsigned bytes in memory order.
int32_t CompareGuids(const void* left, const void* right, uint32_t);

// Field by field in stored order, which is the order of significance.
int32_t CompareDbDates(const void* left, const void* right, uint32_t);
int32_t CompareDbTimes(const void* left, const void* right, uint32_t);
int32_t CompareDbTimestamps(const void* left, const void* right, uint32_t);

// NUL-terminated strings. The comparator sees no slot size, so a value must
// be NUL-terminated within its slot; the host guarantees it for every row it
// hands over. Ordinal: unsigned code units. IgnoreCase: ASCII letters folded,
// any value of the right sign. Collated: CompareString with the flags.
int32_t CompareStringsOrdinal(const void* left, const void* right, uint32_t);
int32_t CompareStringsIgnoreCase(const void* left, const void* right, uint32_t);
int32_t CompareStringsCollated(const void* left, const void* right, uint32_t flags);
int32_t CompareWideStringsOrdinal(const void* left, const void* right, uint32_t);
int32_t CompareWideStringsIgnoreCase(const void* left, const void* right, uint32_t);
int32_t CompareWideStringsCollated(const void* left, const void* right, uint32_t flags);

template <size_t N>
void CopyFixed(void* destination, const void* source) {
  std::memcpy(destination, source, N);
}

// Up to and including the terminating NUL.
void CopyString(void* destination, const void* source);
void CopyWideString(void* destination, const void* source);

}  // namespace keys
