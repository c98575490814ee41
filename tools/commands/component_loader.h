// Finding and creating the sort component, and running its registration.
#pragma once

#include <string>

#include "platform/com.h"

namespace tolvarine {

// libtolvarine.so in the directory of this program, or, when that has none,
// where the package installs it relative to the program, if there.
std::u16string LibraryBesideProgram();

// Creates the component: through the registry by its ProgID when that is
// registered, otherwise straight from the library beside the program.
// *source says which (for messages). *warning is empty, or names the
// registry file and why it could not be read when the library beside the
// program is used in its place. The caller releases *component and then
// calls host::FreeUnusedLibraries.
HRESULT CreateSortComponent(IUnknown** component, std::string* source, std::string* warning);

// A result code as a short text: the Win32 error's meaning when it has one.
std::string DescribeResult(HRESULT hr);

}  // namespace tolvarine
