#include "server/class_factory.h"

#include <new>

HRESULT CTolvarineClassFactory::Create(ModuleLockCount* module, ObjectCreator creator,
                                       IClassFactory** factory) {
  *factory = new (std::nothrow) CTolvarineClassFactory(module, creator);
  return *factory ? S_OK : E_OUTOFMEMORY;
}

HRESULT STDMETHODCALLTYPE CTolvarineClassFactory::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IClassFactory) {
    *object = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE CTolvarineClassFactory::AddRef() {
  ULONG count = refs_.fetch_add(1, std::memory_order_relaxed) + 1;
  if (count == 2) module_->Lock();  // The first reference outside the module.
  return count;
}

ULONG STDMETHODCALLTYPE CTolvarineClassFactory::Release() {
  ULONG count = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (count == 1) {
    module_->Unlock();  // Only the module's cached reference is left.
  } else if (count == 0) {
    delete this;
  }
  return count;
}

HRESULT STDMETHODCALLTYPE CTolvarineClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  return creator_(module_, iid, object);
}

HRESULT STDMETHODCALLTYPE CTolvarineClassFactory::LockServer(BOOL lock) {
  if (lock) {
    serverLocks_.fetch_add(1, std::memory_order_relaxed);
    module_->Lock();
    return S_OK;
  }
  LONG outstanding = serverLocks_.load(std::memory_order_relaxed);
  while (outstanding > 0) {
    if (serverLocks_.compare_exchange_weak(outstanding, outstanding - 1,
                                           std::memory_order_relaxed)) {
      module_->Unlock();
      break;
    }
  }
  return S_OK;
}
