// An unsigned integer of any size, enough for the exact decimal conversions of
// the DECIMAL, DB_NUMERIC and automation date values: digits in, digits out,
// multiply and divide by small numbers, little-endian byte import and export.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tolvarine {

class BigUnsigned {
 public:
  BigUnsigned() = default;
  explicit BigUnsigned(uint64_t value);

  // REQUIRES: `digits` holds only '0'..'9' (it may be empty: zero).
  static BigUnsigned FromDecimal(std::string_view digits);
  // The first `size` bytes at `bytes`, least significant first.
  static BigUnsigned FromBytesLE(const uint8_t* bytes, size_t size);

  bool IsZero() const { return limbs_.empty(); }
  // Number of significant bits; 0 for zero.
  size_t BitLength() const;

  void MultiplyAdd(uint32_t factor, uint32_t addend);
  // Divides in place and returns the remainder. REQUIRES: divisor != 0.
  uint32_t DivideBy(uint32_t divisor);
  void ShiftLeft(size_t bits);
  // The low 64 bits.
  uint64_t Low64() const;

  // Writes exactly `size` bytes, least significant first; false (and nothing
  // written) when the value needs more.
  bool ToBytesLE(uint8_t* bytes, size_t size) const;
  // Decimal digits without leading zeros ("0" for zero).
  std::string ToDecimal() const;

 private:
  void Trim();

  std::vector<uint32_t> limbs_;  // Least significant first; no leading zero limbs.
};

}  // namespace tolvarine
