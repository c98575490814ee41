// Creating components the way COM does, from in-process server libraries:
// the host's face over the platform's activation service
// (platform/com_activation.h), which on Windows is the COM runtime itself.
//
// By ProgID or CLSID through the registry, or straight from a library path
// with a known CLSID. Libraries stay loaded while anything made from them
// may be alive: the host releases its objects and then calls
// FreeUnusedLibraries (as CoFreeUnusedLibraries). On Windows the thread must
// have called plat::InitializeCom before creating a registered class. Every
// function here is safe to call from several threads.
//
//   IUnknown* component = nullptr;
//   HRESULT hr = host::CreateInstanceByProgID(u"Tolvarine.Tolvarine", IID_IUnknown,
//                                            reinterpret_cast<void**>(&component));
//   ... use it ...
//   component->Release();
//   host::FreeUnusedLibraries();
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/com.h"

namespace host {

// Resolves a ProgID to its CLSID, following CurVer to the current version's
// ProgID when the key has one.
HRESULT CLSIDFromProgID(std::u16string_view progID, CLSID* clsid);

// The InprocServer32 library path registered for the class.
HRESULT GetInprocServerPath(REFCLSID clsid, std::u16string* path);

// Creates an object of the class and hands back its interface `iid`.
// The result place is set to null first; E_POINTER when it is missing.
HRESULT CreateInstanceByProgID(std::u16string_view progID, REFIID iid, void** object);
HRESULT CreateInstanceByCLSID(REFCLSID clsid, REFIID iid, void** object);
// The library's own class `clsid` (e.g. CLSID_Tolvarine), without the registry.
HRESULT CreateInstanceFromLibrary(const std::u16string& libraryPath, REFCLSID clsid, REFIID iid,
                                  void** object);

// Unloads every server library that answers S_OK to DllCanUnloadNow.
// Returns how many of those loaded by path (not by the COM runtime) were
// unloaded.
size_t FreeUnusedLibraries();

// Runs the library's DllRegisterServer / DllUnregisterServer; the library is
// unloaded again afterwards when nothing holds it.
HRESULT RegisterServerLibrary(const std::u16string& libraryPath);
HRESULT UnregisterServerLibrary(const std::u16string& libraryPath);

}  // namespace host
