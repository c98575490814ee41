// BSTRs on the C heap, laid out as OLE Automation lays them out: a 32-bit
// byte length, then the code units, then a NUL unit that is not counted. The
// BSTR points at the first code unit, so the allocation starts four bytes
// before it. Sizes are computed in 64 bits so that a length whose byte count
// does not fit the 32-bit prefix is refused instead of wrapping.
#include "platform/bstr.h"

#include <cstdlib>
#include <cstring>
#include <limits>

#include "platform/com_types.h"

namespace {

constexpr size_t kPrefixBytes = sizeof(uint32_t);

BSTR AllocateBstr(uint32_t length) {
  const uint64_t byteLength = uint64_t{length} * sizeof(char16_t);
  const uint64_t total = kPrefixBytes + byteLength + sizeof(char16_t);
  if (byteLength > std::numeric_limits<uint32_t>::max() ||
      total > std::numeric_limits<size_t>::max()) {
    plat::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  auto* base = static_cast<unsigned char*>(std::malloc(static_cast<size_t>(total)));
  if (base == nullptr) {
    plat::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  const auto prefix = static_cast<uint32_t>(byteLength);
  std::memcpy(base, &prefix, kPrefixBytes);
  auto* text = reinterpret_cast<char16_t*>(base + kPrefixBytes);
  text[length] = u'\0';
  return text;
}

}  // namespace

BSTR SysAllocString(const char16_t* text) {
  if (text == nullptr) return nullptr;
  const size_t length = std::char_traits<char16_t>::length(text);
  if (length > std::numeric_limits<uint32_t>::max()) {
    plat::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  return SysAllocStringLen(text, static_cast<uint32_t>(length));
}

BSTR SysAllocStringLen(const char16_t* text, uint32_t length) {
  BSTR result = AllocateBstr(length);
  if (result == nullptr || length == 0) return result;
  if (text != nullptr) {
    std::memcpy(result, text, size_t{length} * sizeof(char16_t));
  } else {
    std::memset(result, 0, size_t{length} * sizeof(char16_t));
  }
  return result;
}

void SysFreeString(BSTR text) {
  if (text != nullptr) std::free(reinterpret_cast<unsigned char*>(text) - kPrefixBytes);
}

uint32_t SysStringLen(BSTR text) {
  if (text == nullptr) return 0;
  uint32_t byteLength;
  std::memcpy(&byteLength, reinterpret_cast<unsigned char*>(text) - kPrefixBytes, kPrefixBytes);
  return byteLength / sizeof(char16_t);
}
