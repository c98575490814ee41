// The table of in-process server libraries loaded by path, and creation
// through a library's class object. The same on every platform: only the
// loader underneath (platform/library.h) differs.
#include <string>
#include <vector>

#include "platform/com_activation.h"
#include "platform/library.h"
#include "platform/sync.h"

namespace plat {

namespace {

// The library's exports. On 32-bit Windows they are stdcall like every COM
// entry point; a cdecl call would leave the stack unbalanced.
using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID clsid, REFIID iid, void** object);
using EntryFn = HRESULT(STDAPICALLTYPE*)();

struct LoadedLibrary {
  std::u16string Path;
  LibraryHandle Handle = nullptr;
  GetClassObjectFn GetClassObject = nullptr;
  EntryFn CanUnloadNow = nullptr;
};

struct LibraryTable {
  CriticalSection Lock;
  std::vector<LoadedLibrary> Libraries;  // REQUIRES: Lock held.
};

LibraryTable& Table() {
  static LibraryTable* table = new LibraryTable;  // Never destroyed: used until exit.
  return *table;
}

// The entry of `path`, loading the library the first time.
// REQUIRES: Table().Lock held.
HRESULT FindOrLoad(const std::u16string& path, LoadedLibrary* library) {
  for (const auto& loaded : Table().Libraries) {
    if (loaded.Path == path) {
      *library = loaded;
      return S_OK;
    }
  }
  LoadedLibrary loaded;
  loaded.Path = path;
  loaded.Handle = LoadLibrary(path);
  if (!loaded.Handle) return HResultFromLastError();
  loaded.GetClassObject =
      reinterpret_cast<GetClassObjectFn>(GetProcAddress(loaded.Handle, "DllGetClassObject"));
  loaded.CanUnloadNow = reinterpret_cast<EntryFn>(GetProcAddress(loaded.Handle, "DllCanUnloadNow"));
  if (!loaded.GetClassObject || !loaded.CanUnloadNow) {
    FreeLibrary(loaded.Handle);
    return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
  }
  Table().Libraries.push_back(loaded);
  *library = loaded;
  return S_OK;
}

// REQUIRES: Table().Lock held.
size_t FreeUnusedLocked() {
  size_t freed = 0;
  auto& libraries = Table().Libraries;
  for (auto it = libraries.begin(); it != libraries.end();) {
    if (it->CanUnloadNow() == S_OK) {
      FreeLibrary(it->Handle);
      it = libraries.erase(it);
      ++freed;
    } else {
      ++it;
    }
  }
  return freed;
}

}  // namespace

HRESULT CreateInstanceFromServerLibrary(const std::u16string& libraryPath, REFCLSID clsid,
                                        REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  Lock hold(Table().Lock);
  LoadedLibrary library;
  HRESULT hr = FindOrLoad(libraryPath, &library);
  if (FAILED(hr)) return hr;
  // The lock is held across creation so that no FreeUnusedLibraries unloads
  // the library between DllGetClassObject and the object taking its module
  // lock.
  ComPtr<IClassFactory> factory;
  hr = library.GetClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(factory.Put()));
  if (SUCCEEDED(hr) && !factory) hr = E_UNEXPECTED;
  if (SUCCEEDED(hr)) hr = factory->CreateInstance(nullptr, iid, object);
  factory.Reset();
  if (FAILED(hr)) FreeUnusedLocked();
  return hr;
}

HRESULT CallServerLibraryEntry(const std::u16string& libraryPath, const char* name) {
  Lock hold(Table().Lock);
  LoadedLibrary library;
  HRESULT hr = FindOrLoad(libraryPath, &library);
  if (FAILED(hr)) return hr;
  auto entry = reinterpret_cast<EntryFn>(GetProcAddress(library.Handle, name));
  hr = entry ? entry() : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
  FreeUnusedLocked();
  return hr;
}

size_t FreeUnusedServerLibraries() {
  Lock hold(Table().Lock);
  return FreeUnusedLocked();
}

}  // namespace plat
