// Activation of in-process COM servers: COM's per-thread initialisation,
// ProgID and CLSID lookups in HKEY_CLASSES_ROOT, creating an object of a
// registered class, and unloading the server libraries nothing uses.
//
// On Windows these are the COM runtime's own (CoInitializeEx,
// CLSIDFromProgID, CoCreateInstance with CLSCTX_INPROC_SERVER,
// CoFreeUnusedLibraries), so a class registered with regsvr32 is found and
// loaded exactly as any other host finds and loads it. Elsewhere the
// registry is the file of platform/registry.h, and the registered library
// is loaded into the table of server libraries below and asked for its
// class object through DllGetClassObject:
//   ProgID -> (CurVer, when present) -> ProgID\CLSID
//   -> CLSID\{..}\InprocServer32 -> library -> IClassFactory::CreateInstance
//
// The table also holds libraries loaded straight from a path (a component
// beside the program that was never registered), one loader reference per
// path. A library stays loaded while anything made from it may be alive: the
// host releases its objects and then calls FreeUnusedLibraries, which
// unloads every library in the table whose DllCanUnloadNow answers S_OK (and
// on Windows lets the COM runtime do the same with the ones it loaded).
// Every function here is safe to call from several threads.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/com.h"

namespace plat {

// Enters the multithreaded apartment on the calling thread (the component
// is registered "Free"). S_OK, S_FALSE when the thread already was in it,
// or the failure (RPC_E_CHANGED_MODE for a thread in a single-threaded
// apartment). Each success is matched by one UninitializeCom on the same
// thread. Nothing to do on the other platforms: S_OK.
HRESULT InitializeCom();
void UninitializeCom();

// The CLSID of a ProgID, following CurVer to the current version's ProgID
// when the key has one. CO_E_CLASSSTRING when the ProgID is not registered.
HRESULT ClassFromProgID(std::u16string_view progID, CLSID* clsid);

// The InprocServer32 library path registered for the class;
// REGDB_E_CLASSNOTREG when there is none.
HRESULT InprocServerPath(REFCLSID clsid, std::u16string* path);

// Creates an object of the registered class in this process and hands back
// its interface `iid`. The result place is set to null first; E_POINTER
// when it is missing.
HRESULT CreateRegisteredInstance(REFCLSID clsid, REFIID iid, void** object);

// Creates an object of the library's own class `clsid`, loading the library
// into the table when it is not there yet; the registry is not consulted.
HRESULT CreateInstanceFromServerLibrary(const std::u16string& libraryPath, REFCLSID clsid,
                                        REFIID iid, void** object);

// Runs the library's entry point `name` (DllRegisterServer or
// DllUnregisterServer); the library is unloaded again afterwards when
// nothing holds it. HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND) when it lacks it.
HRESULT CallServerLibraryEntry(const std::u16string& libraryPath, const char* name);

// Unloads every library of the table that answers S_OK to DllCanUnloadNow,
// and on Windows has the COM runtime do the same (CoFreeUnusedLibraries).
// Returns how many libraries of the table were unloaded.
size_t FreeUnusedLibraries();
// The table's part of FreeUnusedLibraries alone.
size_t FreeUnusedServerLibraries();

// Where registrations are looked up, for messages: the registry file's path,
// or "HKEY_CLASSES_ROOT" on Windows. False when it cannot be determined
// (last error set).
bool RegistryLocation(std::string* where);

}  // namespace plat
