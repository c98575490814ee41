#include "tools/text/big_unsigned.h"

#include <algorithm>
#include <bit>

namespace tolvarine {

BigUnsigned::BigUnsigned(uint64_t value) {
  limbs_ = {static_cast<uint32_t>(value), static_cast<uint32_t>(value >> 32)};
  Trim();
}

BigUnsigned BigUnsigned::FromDecimal(std::string_view digits) {
  BigUnsigned result;
  // Nine digits at a time keep the number of passes over the limbs small.
  size_t i = 0;
  while (i < digits.size()) {
    size_t chunk = std::min<size_t>(9, digits.size() - i);
    uint32_t value = 0, scale = 1;
    for (size_t j = 0; j < chunk; ++j) {
      value = value * 10 + static_cast<uint32_t>(digits[i + j] - '0');
      scale *= 10;
    }
    result.MultiplyAdd(scale, value);
    i += chunk;
  }
  return result;
}

BigUnsigned BigUnsigned::FromBytesLE(const uint8_t* bytes, size_t size) {
  BigUnsigned result;
  result.limbs_.assign((size + 3) / 4, 0);
  for (size_t i = 0; i < size; ++i) {
    result.limbs_[i / 4] |= static_cast<uint32_t>(bytes[i]) << (8 * (i % 4));
  }
  result.Trim();
  return result;
}

size_t BigUnsigned::BitLength() const {
  if (limbs_.empty()) return 0;
  return 32 * (limbs_.size() - 1) + std::bit_width(limbs_.back());
}

void BigUnsigned::MultiplyAdd(uint32_t factor, uint32_t addend) {
  uint64_t carry = addend;
  for (uint32_t& limb : limbs_) {
    uint64_t product = static_cast<uint64_t>(limb) * factor + carry;
    limb = static_cast<uint32_t>(product);
    carry = product >> 32;
  }
  if (carry != 0) limbs_.push_back(static_cast<uint32_t>(carry));
  Trim();
}

uint32_t BigUnsigned::DivideBy(uint32_t divisor) {
  uint64_t remainder = 0;
  for (size_t i = limbs_.size(); i-- > 0;) {
    uint64_t current = (remainder << 32) | limbs_[i];
    limbs_[i] = static_cast<uint32_t>(current / divisor);
    remainder = current % divisor;
  }
  Trim();
  return static_cast<uint32_t>(remainder);
}

void BigUnsigned::ShiftLeft(size_t bits) {
  if (limbs_.empty() || bits == 0) return;
  size_t whole = bits / 32, part = bits % 32;
  if (part != 0) {
    uint32_t carry = 0;
    for (uint32_t& limb : limbs_) {
      uint32_t next = limb >> (32 - part);
      limb = (limb << part) | carry;
      carry = next;
    }
    if (carry != 0) limbs_.push_back(carry);
  }
  limbs_.insert(limbs_.begin(), whole, 0);
}

uint64_t BigUnsigned::Low64() const {
  uint64_t low = limbs_.empty() ? 0 : limbs_[0];
  if (limbs_.size() > 1) low |= static_cast<uint64_t>(limbs_[1]) << 32;
  return low;
}

bool BigUnsigned::ToBytesLE(uint8_t* bytes, size_t size) const {
  if ((BitLength() + 7) / 8 > size) return false;
  for (size_t i = 0; i < size; ++i) {
    bytes[i] = i / 4 < limbs_.size() ? static_cast<uint8_t>(limbs_[i / 4] >> (8 * (i % 4))) : 0;
  }
  return true;
}

std::string BigUnsigned::ToDecimal() const {
  if (limbs_.empty()) return "0";
  BigUnsigned rest = *this;
  std::string reversed;
  while (!rest.IsZero()) {
    uint32_t chunk = rest.DivideBy(1000000000);
    for (int i = 0; i < 9; ++i) {
      reversed.push_back(static_cast<char>('0' + chunk % 10));
      chunk /= 10;
    }
  }
  while (reversed.size() > 1 && reversed.back() == '0') reversed.pop_back();
  return std::string(reversed.rbegin(), reversed.rend());
}

void BigUnsigned::Trim() {
  while (!limbs_.empty() && limbs_.back() == 0) limbs_.pop_back();
}

}  // namespace tolvarine
