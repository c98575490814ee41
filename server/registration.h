// Self-registration: the registry entries that make the component known to
// COM and to the pipeline host, and the registration of its type library.
#pragma once

#include <string>

#include "platform/com_types.h"
#include "platform/registry.h"

// Writes every entry, with `modulePath` (the library's full path) as the
// server and type library path. CLSID\{CLSID} is rebuilt from nothing;
// AppID and CLSID themselves are created when missing, never replaced.
// False with the last error set when an entry cannot be written; the
// entries written before it stay in `keys`.
bool WriteRegistration(plat::RegistryKeys* keys, const std::u16string& modulePath);

// Removes what WriteRegistration wrote, keeping the shared keys AppID,
// CLSID and TypeLib, and another platform's registration of the type
// library. Entries already gone are not an error.
bool RemoveRegistration(plat::RegistryKeys* keys);

// DllRegisterServer / DllUnregisterServer. The module path is that of the
// library holding this code.
//
// A failed registration leaves no partial registration behind:
// - In the registry file (every platform but Windows) each call is one
//   transaction. A failure aborts it: the file is left exactly as it was,
//   an earlier registration included.
// - In the Windows registry each entry is written on its own and cannot be
//   taken back as one. A failed registration runs the unregistration: the
//   registry is left as after DllUnregisterServer, so a registration that
//   was there before is gone too (registering again restores it). Should a
//   removal fail as well, DllRegisterServer still reports the registration's
//   own failure, and what could not be removed stays.
// A failed unregistration changes nothing in the file; in the Windows
// registry it stops at the entry it could not remove, those before it gone.
HRESULT RegisterServer();
HRESULT UnregisterServer();
