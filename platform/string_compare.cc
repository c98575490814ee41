#include "platform/string_compare.h"

#include <cstring>

namespace plat {
namespace {

// Windows-1252 bytes 0x80 to 0x9F. The five bytes that the code page leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 controls of the same
// number, as Windows maps them.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 0x88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 0x98
};

template <class Unit>
Unit FoldAscii(Unit unit) {
  return unit >= 'A' && unit <= 'Z' ? static_cast<Unit>(unit + ('a' - 'A')) : unit;
}

}  // namespace

int StrICmp(const char* left, const char* right) {
  const auto* l = reinterpret_cast<const unsigned char*>(left);
  const auto* r = reinterpret_cast<const unsigned char*>(right);
  for (;; ++l, ++r) {
    const int a = FoldAscii(*l);
    const int b = FoldAscii(*r);
    if (a != b || a == 0) return a - b;
  }
}

int WcsICmp(const char16_t* left, const char16_t* right) {
  // Row values may sit at odd addresses: read unit by unit.
  const auto* l = reinterpret_cast<const unsigned char*>(left);
  const auto* r = reinterpret_cast<const unsigned char*>(right);
  for (;; l += 2, r += 2) {
    char16_t leftUnit, rightUnit;
    std::memcpy(&leftUnit, l, 2);
    std::memcpy(&rightUnit, r, 2);
    const int a = FoldAscii(leftUnit);
    const int b = FoldAscii(rightUnit);
    if (a != b || a == 0) return a - b;
  }
}

char16_t Cp1252ToUtf16(unsigned char byte) {
  return byte >= 0x80 && byte < 0xA0 ? kHighControls[byte - 0x80] : byte;
}

bool Utf16ToCp1252(char16_t unit, unsigned char* byte) {
  if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) {
    *byte = static_cast<unsigned char>(unit);
    return true;
  }
  for (int i = 0; i < 32; ++i) {
    if (kHighControls[i] == unit) {
      *byte = static_cast<unsigned char>(0x80 + i);
      return true;
    }
  }
  return false;
}

}  // namespace plat
