#include "server/module.h"

#include <iterator>

#include "component/tolvarine.h"
#include "interfaces/component_interfaces.h"

namespace {

const ClassTableEntry kClassTable[] = {
    {&CLSID_Tolvarine, &CTolvarine::CreateInstance},
};

}  // namespace

CTolvarineModule::CTolvarineModule(const GUID& appID, const ClassTableEntry* classTable,
                                   size_t classCount)
    : appID_(appID),
      classTable_(classCount <= kMaxClasses ? classTable : nullptr),
      classCount_(classCount <= kMaxClasses ? classCount : 0) {}

CTolvarineModule::~CTolvarineModule() {
  for (auto& cached : classObjects_) {
    if (IClassFactory* factory = cached.exchange(nullptr)) factory->Release();
  }
}

void CTolvarineModule::Lock() {
  lockCount_.fetch_add(1, std::memory_order_acq_rel);
}

void CTolvarineModule::Unlock() {
  lockCount_.fetch_sub(1, std::memory_order_acq_rel);
}

HRESULT CTolvarineModule::GetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (!classTable_) return E_UNEXPECTED;
  for (size_t i = 0; i < classCount_; ++i) {
    if (!(*classTable_[i].Clsid == clsid)) continue;
    IClassFactory* factory = classObjects_[i].load(std::memory_order_acquire);
    if (!factory) {
      plat::Lock hold(classObjectLock_);
      // Another thread may have made it while this one waited.
      factory = classObjects_[i].load(std::memory_order_acquire);
      if (!factory) {
        HRESULT hr = CTolvarineClassFactory::Create(this, classTable_[i].CreateObject, &factory);
        if (FAILED(hr)) return hr;
        classObjects_[i].store(factory, std::memory_order_release);
      }
    }
    HRESULT hr = factory->QueryInterface(iid, object);
    if (SUCCEEDED(hr) && !*object) return CLASS_E_CLASSNOTAVAILABLE;
    return hr;
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

CTolvarineModule& TolvarineModule() {
  static CTolvarineModule module(APPID_Tolvarine, kClassTable, std::size(kClassTable));
  return module;
}
