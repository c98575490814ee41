// Text at the boundary with the W functions of the Windows API: the code
// base keeps paths as char16_t (or UTF-8, for the program's own files); the
// system takes wchar_t, the same UTF-16 code unit.
#pragma once

#include <string>
#include <string_view>

#include "platform/com_types.h"

namespace plat {

// The same UTF-16 code units as the W functions take and give them: the
// text itself, a NUL-terminated copy of a view, and a view of theirs.
inline const wchar_t* AsWide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}
inline std::wstring WideCopy(std::u16string_view text) {
  return std::wstring(reinterpret_cast<const wchar_t*>(text.data()), text.size());
}
inline std::u16string_view AsUtf16(const wchar_t* text, size_t length) {
  return std::u16string_view(reinterpret_cast<const char16_t*>(text), length);
}

// The path as the W functions take it. Null with ERROR_INVALID_NAME when it
// holds a NUL code unit, which would silently cut it short.
const wchar_t* WidePath(const std::u16string& path);

// A UTF-8 path in the form the W functions take. False with
// ERROR_INVALID_NAME when it holds a NUL, ERROR_NOT_ENOUGH_MEMORY when
// memory runs out.
bool WidePathFromUtf8(std::string_view path, std::wstring* wide);

// The system's message for a Win32 error in UTF-8, without the closing
// period and line break ("The system cannot find the file specified").
std::string ErrorText(DWORD error);

}  // namespace plat
