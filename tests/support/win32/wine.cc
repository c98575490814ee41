#include "tests/support/wine.h"

#include <windows.h>

namespace testsupport {

// Wine's ntdll exports its version; Windows' does not.
bool RunningOnWine() {
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace testsupport
