// Text at the boundary with the W functions of the Windows API: the code
// base keeps paths as char16_t (or UTF-8, for the program's own files); the
// system takes wchar_t, the same UTF-16 code unit.
#pragma once

#include <string>
#include <string_view>

#include "platform/com_types.h"

namespace plat {

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
