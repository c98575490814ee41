// The four entry points of the library.
#include "interfaces/component_interfaces.h"
#include "platform/library_export.h"
#include "platform/no_throw.h"
#include "server/module.h"
#include "server/registration.h"

TOLVARINE_EXPORT HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid,
                                                          void** object) {
  return TolvarineModule().GetClassObject(clsid, iid, object);
}

TOLVARINE_EXPORT HRESULT STDAPICALLTYPE DllCanUnloadNow() {
  return TolvarineModule().CanUnloadNow();
}

TOLVARINE_EXPORT HRESULT STDAPICALLTYPE DllRegisterServer() {
  return plat::NoThrow(RegisterServer);
}

TOLVARINE_EXPORT HRESULT STDAPICALLTYPE DllUnregisterServer() {
  return plat::NoThrow(UnregisterServer);
}
