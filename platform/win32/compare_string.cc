// CompareStringA/W over the system's own collation (CompareStringEx) in the
// system default locale.
//
// The flags are checked here: Wine accepts bits that Windows refuses, and a
// call must fail the same way on both (ERROR_INVALID_FLAGS). 8-bit text is
// Windows-1252 whatever the system's code page, as on every platform of this
// code base, so CompareStringA widens it and compares as CompareStringW.
#include <cstring>
#include <memory>
#include <new>

#include "platform/com_types.h"
#include "platform/string_compare.h"

namespace plat {
namespace {

// Text of one operand widened to UTF-16: on the stack for ordinary lengths.
class WideText {
 public:
  explicit WideText(const char* text) : length_(std::strlen(text)) {
    wchar_t* units = length_ < kStackUnits ? stack_ : Heap();
    if (units == nullptr) return;
    for (size_t i = 0; i < length_; ++i) {
      units[i] = static_cast<wchar_t>(Cp1252ToUtf16(static_cast<unsigned char>(text[i])));
    }
    units[length_] = 0;
    units_ = units;
  }
  WideText(const WideText&) = delete;
  WideText& operator=(const WideText&) = delete;

  // Null when the text could not be held (last error set).
  const wchar_t* Units() const { return units_; }

 private:
  static constexpr size_t kStackUnits = 512;

  wchar_t* Heap() {
    heap_.reset(new (std::nothrow) wchar_t[length_ + 1]);
    if (!heap_) ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return heap_.get();
  }

  size_t length_;
  const wchar_t* units_ = nullptr;
  wchar_t stack_[kStackUnits];
  std::unique_ptr<wchar_t[]> heap_;
};

// The system default locale's name, read once. (Wine 8's CompareStringEx
// refuses LOCALE_NAME_SYSTEM_DEFAULT, which Windows accepts.)
const wchar_t* SystemLocaleName() {
  static const struct Name {
    Name() {
      if (::GetSystemDefaultLocaleName(text, LOCALE_NAME_MAX_LENGTH) == 0) {
        ::lstrcpyW(text, L"en-US");
      }
    }
    wchar_t text[LOCALE_NAME_MAX_LENGTH];
  } name;
  return name.text;
}

int Compare(uint32_t flags, const wchar_t* left, const wchar_t* right) {
  return ::CompareStringEx(SystemLocaleName(), flags, left, -1, right, -1, nullptr, nullptr, 0);
}

bool CheckCall(uint32_t flags, const void* left, const void* right) {
  if (left == nullptr || right == nullptr) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  if ((flags & ~kCompareStringValidFlags) != 0) {
    ::SetLastError(ERROR_INVALID_FLAGS);
    return false;
  }
  return true;
}

}  // namespace

int CompareStringW(uint32_t flags, const char16_t* left, const char16_t* right) {
  if (!CheckCall(flags, left, right)) return 0;
  return Compare(flags, reinterpret_cast<const wchar_t*>(left),
                 reinterpret_cast<const wchar_t*>(right));
}

int CompareStringA(uint32_t flags, const char* left, const char* right) {
  if (!CheckCall(flags, left, right)) return 0;
  const WideText leftWide(left);
  const WideText rightWide(right);
  if (leftWide.Units() == nullptr || rightWide.Units() == nullptr) return 0;
  return Compare(flags, leftWide.Units(), rightWide.Units());
}

}  // namespace plat
