// The four entry points of the library.
#include "component/allocation_guard.h"
#include "interfaces/component_interfaces.h"
#include "server/export.h"
#include "server/module.h"
#include "server/registration.h"

TOLVARINE_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  return TolvarineModule().GetClassObject(clsid, iid, object);
}

TOLVARINE_EXPORT HRESULT DllCanUnloadNow() {
  return TolvarineModule().CanUnloadNow();
}

TOLVARINE_EXPORT HRESULT DllRegisterServer() {
  return GuardAllocations(RegisterServer);
}

TOLVARINE_EXPORT HRESULT DllUnregisterServer() {
  return GuardAllocations(UnregisterServer);
}
