// BSTR: length-prefixed, NUL-terminated UTF-16 strings as OLE Automation
// keeps them. The 32-bit byte length lies just before the first code unit.
// A null BSTR means the empty string everywhere.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#ifdef _WIN32
#include "platform/com_types.h"
#else
using BSTR = char16_t*;

// Copies a NUL-terminated string; null gives null. Null on allocation failure.
BSTR SysAllocString(const char16_t* text);
// Copies `length` code units (text may be null: the units are zeroed).
BSTR SysAllocStringLen(const char16_t* text, uint32_t length);
void SysFreeString(BSTR text);
// Length in code units; 0 for null.
uint32_t SysStringLen(BSTR text);

#endif  // _WIN32

namespace plat {
// UTF-8 <-> UTF-16 conversion (invalid input is replaced with U+FFFD).
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);
// The same conversions, telling whether the input was well formed: false
// when anything had to be replaced (ill-formed UTF-8, an unpaired surrogate).
// The converted text is produced either way.
bool Utf8ToUtf16(std::string_view text, std::u16string* out);
bool AppendUtf16AsUtf8(std::u16string_view text, std::string* out);
// A BSTR's code units as this code base keeps 16-bit text (null for null).
inline const char16_t* BstrChars(BSTR text) {
  return reinterpret_cast<const char16_t*>(text);
}
// View of a BSTR (empty for null).
inline std::u16string_view BstrView(BSTR text) {
  return text ? std::u16string_view(reinterpret_cast<const char16_t*>(text), SysStringLen(text))
              : std::u16string_view();
}

// Owns one BSTR; frees it on destruction.
class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(const char16_t* text) : s_(SysAllocString(text)) {}
  explicit Bstr(std::u16string_view text) : s_(SysAllocStringLen(text.data(), static_cast<uint32_t>(text.size()))) {}
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  Bstr(Bstr&& o) noexcept : s_(o.s_) { o.s_ = nullptr; }
  Bstr& operator=(Bstr&& o) noexcept { if (this != &o) { SysFreeString(s_); s_ = o.s_; o.s_ = nullptr; } return *this; }
  ~Bstr() { SysFreeString(s_); }
  BSTR Get() const { return s_; }
  BSTR* Put() { SysFreeString(s_); s_ = nullptr; return &s_; }
  BSTR Detach() { BSTR s = s_; s_ = nullptr; return s; }
  std::u16string_view View() const { return BstrView(s_); }

 private:
  BSTR s_ = nullptr;
};
}  // namespace plat
