// Finding and creating the sort component, and running its registration.
#pragma once

#include <string>

#include "platform/com.h"

namespace tolvarine {

// The component library's file name: libtolvarine.so, or Tolvarine.dll on
// Windows.
std::string ComponentFileName();

// The component library in the directory of this program, or, when that has
// none, where the package installs it relative to the program, if there.
std::u16string LibraryBesideProgram();

// Creates the component: through the registry by its ProgID when that is
// registered (on Windows by the COM runtime, so COM must be initialised on
// the thread), otherwise straight from the library beside the program.
// *source says which (for messages). *warning is empty, or names the
// registry file and why it could not be read when the library beside the
// program is used in its place. The caller releases *component and then
// calls host::FreeUnusedLibraries.
HRESULT CreateSortComponent(IUnknown** component, std::string* source, std::string* warning);

// A result code as a short text: the Win32 error's meaning when it has one.
std::string DescribeResult(HRESULT hr);

}  // namespace tolvarine
