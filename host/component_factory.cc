// The host's face over the platform's activation service
// (platform/com_activation.h): lookups, creation and unloading there; the
// registration entry points called here.
#include "host/component_factory.h"

#include "platform/com_activation.h"

namespace host {

HRESULT CLSIDFromProgID(std::u16string_view progID, CLSID* clsid) {
  return plat::ClassFromProgID(progID, clsid);
}

HRESULT GetInprocServerPath(REFCLSID clsid, std::u16string* path) {
  return plat::InprocServerPath(clsid, path);
}

HRESULT CreateInstanceByProgID(std::u16string_view progID, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  CLSID clsid;
  HRESULT hr = plat::ClassFromProgID(progID, &clsid);
  if (FAILED(hr)) return hr;
  return plat::CreateRegisteredInstance(clsid, iid, object);
}

HRESULT CreateInstanceByCLSID(REFCLSID clsid, REFIID iid, void** object) {
  return plat::CreateRegisteredInstance(clsid, iid, object);
}

HRESULT CreateInstanceFromLibrary(const std::u16string& libraryPath, REFCLSID clsid, REFIID iid,
                                  void** object) {
  return plat::CreateInstanceFromServerLibrary(libraryPath, clsid, iid, object);
}

size_t FreeUnusedLibraries() {
  return plat::FreeUnusedLibraries();
}

HRESULT RegisterServerLibrary(const std::u16string& libraryPath) {
  return plat::CallServerLibraryEntry(libraryPath, "DllRegisterServer");
}

HRESULT UnregisterServerLibrary(const std::u16string& libraryPath) {
  return plat::CallServerLibraryEntry(libraryPath, "DllUnregisterServer");
}

}  // namespace host
