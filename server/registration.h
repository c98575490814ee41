// Self-registration: the registry entries that make the component known to
// COM and to the pipeline host, and the registration of its type library.
#pragma once

#include <string>

#include "platform/com_types.h"
#include "platform/registry.h"

// Writes every entry, with `modulePath` (the library's full path) as the
// server and type library path. CLSID\{CLSID} is rebuilt from nothing;
// AppID and CLSID themselves are created when missing, never replaced.
// False with the last error set when an entry cannot be written.
bool WriteRegistration(plat::RegistryTree* tree, const std::u16string& modulePath);

// Removes what WriteRegistration wrote, keeping the shared keys AppID,
// CLSID and TypeLib. Entries already gone are not an error.
bool RemoveRegistration(plat::RegistryTree* tree);

// DllRegisterServer / DllUnregisterServer: one atomic change of the
// registry each. The module path is that of the library holding this code.
HRESULT RegisterServer();
HRESULT UnregisterServer();
