// In-process servers: the table of loaded libraries, the registry lookups
// from ProgID to library, and creation through the class object.
#include "host/component_factory.h"

#include <string>
#include <vector>

#include "interfaces/component_interfaces.h"
#include "platform/library.h"
#include "platform/registry.h"
#include "platform/sync.h"

namespace host {

namespace {

// CurVer chains are followed this far at most.
constexpr int kMaxCurVerHops = 8;

struct LoadedLibrary {
  std::u16string Path;
  plat::LibraryHandle Handle = nullptr;
  DllGetClassObjectFn GetClassObject = nullptr;
  DllCanUnloadNowFn CanUnloadNow = nullptr;
};

// Every library loaded here, one entry (and one loader reference) per path.
struct LibraryTable {
  plat::CriticalSection Lock;
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
  loaded.Handle = plat::LoadLibrary(path);
  if (!loaded.Handle) return plat::HResultFromLastError();
  loaded.GetClassObject = reinterpret_cast<DllGetClassObjectFn>(
      plat::GetProcAddress(loaded.Handle, "DllGetClassObject"));
  loaded.CanUnloadNow =
      reinterpret_cast<DllCanUnloadNowFn>(plat::GetProcAddress(loaded.Handle, "DllCanUnloadNow"));
  if (!loaded.GetClassObject || !loaded.CanUnloadNow) {
    HRESULT hr = HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    plat::FreeLibrary(loaded.Handle);
    return hr;
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
      plat::FreeLibrary(it->Handle);
      it = libraries.erase(it);
      ++freed;
    } else {
      ++it;
    }
  }
  return freed;
}

// Registry names compare without regard to ASCII case.
bool SameRegistryName(std::u16string_view a, std::u16string_view b) {
  auto fold = [](char16_t c) -> char16_t { return c >= u'a' && c <= u'z' ? c - 32 : c; };
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

bool ReadDefaultString(const plat::RegistryTree& tree, const std::u16string& key,
                       std::u16string* text) {
  plat::RegistryValue value;
  if (!tree.QueryValue(key, u"", &value) || value.ValueType != plat::RegistryValue::Type::kString) {
    return false;
  }
  *text = value.Text;
  return true;
}

HRESULT CreateFromClassObject(const LoadedLibrary& library, REFCLSID clsid, REFIID iid,
                              void** object) {
  ComPtr<IClassFactory> factory;
  HRESULT hr =
      library.GetClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(factory.Put()));
  if (FAILED(hr)) return hr;
  if (!factory) return E_UNEXPECTED;
  return factory->CreateInstance(nullptr, iid, object);
}

// Calls one of the library's registration entry points.
HRESULT RunRegistrationEntry(const std::u16string& libraryPath, const char* name) {
  plat::Lock hold(Table().Lock);
  LoadedLibrary library;
  HRESULT hr = FindOrLoad(libraryPath, &library);
  if (FAILED(hr)) return hr;
  auto entry = reinterpret_cast<DllRegisterServerFn>(plat::GetProcAddress(library.Handle, name));
  hr = entry ? entry() : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
  FreeUnusedLocked();
  return hr;
}

}  // namespace

HRESULT CLSIDFromProgID(std::u16string_view progID, CLSID* clsid) {
  if (!clsid) return E_POINTER;
  plat::RegistryTree tree;
  if (!plat::LoadRegistry(&tree)) return plat::HResultFromLastError();
  std::u16string current(progID);
  if (current.empty() || !tree.KeyExists(current)) return CO_E_CLASSSTRING;
  // CurVer names the ProgID of the current version. The chain stops at a
  // key that does not exist or at one already visited (a loop).
  std::vector<std::u16string> visited{current};
  for (int hop = 0; hop < kMaxCurVerHops; ++hop) {
    std::u16string next;
    if (!ReadDefaultString(tree, current + u"\\CurVer", &next) || next.empty() ||
        !tree.KeyExists(next)) {
      break;
    }
    bool seen = false;
    for (const auto& name : visited) seen = seen || SameRegistryName(name, next);
    if (seen) break;
    visited.push_back(next);
    current = next;
  }
  std::u16string text;
  if (!ReadDefaultString(tree, current + u"\\CLSID", &text) &&
      !ReadDefaultString(tree, std::u16string(progID) + u"\\CLSID", &text)) {
    return CO_E_CLASSSTRING;
  }
  return plat::GuidFromString(text.c_str(), clsid) ? S_OK : CO_E_CLASSSTRING;
}

HRESULT GetInprocServerPath(REFCLSID clsid, std::u16string* path) {
  if (!path) return E_POINTER;
  plat::RegistryTree tree;
  if (!plat::LoadRegistry(&tree)) return plat::HResultFromLastError();
  const std::u16string key = u"CLSID\\" + plat::GuidToString(clsid) + u"\\InprocServer32";
  if (!ReadDefaultString(tree, key, path) || path->empty()) return REGDB_E_CLASSNOTREG;
  return S_OK;
}

HRESULT CreateInstanceByProgID(std::u16string_view progID, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  CLSID clsid;
  HRESULT hr = CLSIDFromProgID(progID, &clsid);
  if (FAILED(hr)) return hr;
  return CreateInstanceByCLSID(clsid, iid, object);
}

HRESULT CreateInstanceByCLSID(REFCLSID clsid, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  std::u16string path;
  HRESULT hr = GetInprocServerPath(clsid, &path);
  if (FAILED(hr)) return hr;
  return CreateInstanceFromLibrary(path, clsid, iid, object);
}

HRESULT CreateInstanceFromLibrary(const std::u16string& libraryPath, REFCLSID clsid, REFIID iid,
                                  void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  plat::Lock hold(Table().Lock);
  LoadedLibrary library;
  HRESULT hr = FindOrLoad(libraryPath, &library);
  if (FAILED(hr)) return hr;
  // Held across creation so that no FreeUnusedLibraries unloads the library
  // between DllGetClassObject and the object taking its module lock.
  hr = CreateFromClassObject(library, clsid, iid, object);
  if (FAILED(hr)) FreeUnusedLocked();
  return hr;
}

size_t FreeUnusedLibraries() {
  plat::Lock hold(Table().Lock);
  return FreeUnusedLocked();
}

HRESULT RegisterServerLibrary(const std::u16string& libraryPath) {
  return RunRegistrationEntry(libraryPath, "DllRegisterServer");
}

HRESULT UnregisterServerLibrary(const std::u16string& libraryPath) {
  return RunRegistrationEntry(libraryPath, "DllUnregisterServer");
}

}  // namespace host
