// Whether a Windows test program runs under Wine. Where Wine answers
// differently from Windows, a test says so, checks what Wine does there and
// what Windows does elsewhere, rather than being skipped.
#pragma once

#include <windows.h>

namespace testsupport {

// Wine's ntdll exports its version; Windows' does not.
inline bool RunningOnWine() {
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace testsupport
