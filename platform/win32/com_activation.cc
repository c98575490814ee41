// Activation by the COM runtime itself. Only libraries loaded by path are
// kept in the table of server libraries; the ones CoCreateInstance loads are
// the runtime's to unload.
#include "platform/com_activation.h"

#include <objbase.h>

#include <string>
#include <vector>

#include "platform/library.h"
#include "platform/registry.h"
#include "platform/win32/wide_text.h"

namespace plat {

namespace {

}  // namespace

HRESULT InitializeCom() {
  return ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
}

void UninitializeCom() {
  ::CoUninitialize();
}

HRESULT ClassFromProgID(std::u16string_view progID, CLSID* clsid) {
  if (!clsid) return E_POINTER;
  // CLSIDFromProgID reads ProgID\CLSID (a version-independent ProgID carries
  // the current version's CLSID itself).
  const std::u16string name(progID);
  if (name.empty()) return CO_E_CLASSSTRING;
  return ::CLSIDFromProgID(AsWide(name), clsid);
}

HRESULT InprocServerPath(REFCLSID clsid, std::u16string* path) {
  if (!path) return E_POINTER;
  path->clear();
  const std::u16string key = u"CLSID\\" + GuidToString(clsid) + u"\\InprocServer32";
  std::vector<RegistryValue> values;
  SystemClassesRoot classes;
  if (!classes.EnumValues(key, &values)) {
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND ? REGDB_E_CLASSNOTREG : HRESULT_FROM_WIN32(error);
  }
  if (values.empty() || !values[0].Name.empty() || values[0].Text.empty()) {
    return REGDB_E_CLASSNOTREG;
  }
  *path = values[0].Text;
  return S_OK;
}

HRESULT CreateRegisteredInstance(REFCLSID clsid, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  return ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, object);
}

size_t FreeUnusedLibraries() {
  ::CoFreeUnusedLibraries();
  return FreeUnusedServerLibraries();
}

bool RegistryLocation(std::string* where) {
  *where = "HKEY_CLASSES_ROOT";
  return true;
}

}  // namespace plat
