#include <cstring>

#include "keys/column_functions.h"
#include "keys/value_functions.h"
#include "platform/string_compare.h"

namespace keys {
namespace {

// CompareString's answer as an order; a failed call (0) counts as equal.
int32_t FromCompareString(int result) {
  switch (result) {
    case plat::CSTR_LESS_THAN:
      return -1;
    case plat::CSTR_GREATER_THAN:
      return 1;
    default:
      return 0;
  }
}

}  // namespace

int32_t CompareStringsOrdinal(const void* left, const void* right, uint32_t) {
  // strcmp compares the bytes as unsigned char.
  const int order = std::strcmp(static_cast<const char*>(left), static_cast<const char*>(right));
  return order < 0 ? -1 : order > 0 ? 1 : 0;
}

int32_t CompareStringsIgnoreCase(const void* left, const void* right, uint32_t) {
  return plat::StrICmp(static_cast<const char*>(left), static_cast<const char*>(right));
}

int32_t CompareStringsCollated(const void* left, const void* right, uint32_t flags) {
  return FromCompareString(
      plat::CompareStringA(flags, static_cast<const char*>(left), static_cast<const char*>(right)));
}

int32_t CompareWideStringsOrdinal(const void* left, const void* right, uint32_t) {
  // Values may be unaligned within the row: read unit by unit.
  const auto* l = static_cast<const unsigned char*>(left);
  const auto* r = static_cast<const unsigned char*>(right);
  for (;; l += 2, r += 2) {
    const char16_t a = Load<char16_t>(l);
    const char16_t b = Load<char16_t>(r);
    if (a != b) return a < b ? -1 : 1;
    if (a == 0) return 0;
  }
}

int32_t CompareWideStringsIgnoreCase(const void* left, const void* right, uint32_t) {
  return plat::WcsICmp(static_cast<const char16_t*>(left), static_cast<const char16_t*>(right));
}

int32_t CompareWideStringsCollated(const void* left, const void* right, uint32_t flags) {
  return FromCompareString(plat::CompareStringW(flags, static_cast<const char16_t*>(left),
                                                static_cast<const char16_t*>(right)));
}

void CopyString(void* destination, const void* source) {
  std::strcpy(static_cast<char*>(destination), static_cast<const char*>(source));
}

void CopyWideString(void* destination, const void* source) {
  auto* d = static_cast<unsigned char*>(destination);
  const auto* s = static_cast<const unsigned char*>(source);
  for (;; d += 2, s += 2) {
    std::memcpy(d, s, 2);
    if (d[0] == 0 && d[1] == 0) return;
  }
}

}  // namespace keys

HRESULT CheckComparisonFlags(ColumnComparator compare, uint32_t flags) {
  int result;
  if (compare == keys::CompareStringsCollated) {
    result = plat::CompareStringA(flags, "", "");
  } else if (compare == keys::CompareWideStringsCollated) {
    result = plat::CompareStringW(flags, u"", u"");
  } else {
    return S_OK;  // Ordinal and fixed-width comparisons cannot fail.
  }
  return result == 0 ? plat::HResultFromLastError() : S_OK;
}
