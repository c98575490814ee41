// The OLE Automation DECIMAL and its comparison, VarDecCmp.
#pragma once

#include <cstdint>

#include "platform/com_types.h"

#ifndef _WIN32
// 16 bytes: reserved, scale (0..28), sign (0x80 negative), 96-bit magnitude.
struct DECIMAL {
  uint16_t wReserved;
  uint8_t scale;
  uint8_t sign;
  uint32_t Hi32;
  uint64_t Lo64;
};
static_assert(sizeof(DECIMAL) == 16);

constexpr uint8_t DECIMAL_NEG = 0x80;
constexpr HRESULT VARCMP_LT = 0;
constexpr HRESULT VARCMP_EQ = 1;
constexpr HRESULT VARCMP_GT = 2;
constexpr HRESULT VARCMP_NULL = 3;

#endif  // _WIN32

namespace plat {
// Scale 0..28, sign 0 or DECIMAL_NEG.
inline bool IsWellFormedDecimal(const DECIMAL& value) {
  return value.scale <= 28 && (value.sign == 0 || value.sign == DECIMAL_NEG);
}

// Exact comparison across scales; -0 equals +0. A malformed value (scale
// above 28, sign other than 0 or 0x80) gives E_INVALIDARG.
HRESULT VarDecCmp(const DECIMAL* left, const DECIMAL* right);
}  // namespace plat
