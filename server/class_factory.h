// The class object of the component class: a standard class factory.
//
// Its reference count starts at 1, the module's cached reference. References
// held outside the module keep the library loaded: the AddRef that brings
// the count to 2 takes one module lock, and the Release that brings it back
// to 1 gives that lock back.
#pragma once

#include <atomic>

#include "component/module_lock.h"
#include "platform/com.h"

// Makes an object of the class and hands back its interface `iid`.
using ObjectCreator = HRESULT (*)(ModuleLockCount* module, REFIID iid, void** object);

class CTolvarineClassFactory final : public IClassFactory {
 public:
  // The new class object, holding the one (cached) reference. E_OUTOFMEMORY
  // when it cannot be allocated.
  static HRESULT Create(ModuleLockCount* module, ObjectCreator creator, IClassFactory** factory);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  // Aggregation is refused, whatever interface is asked for.
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

 private:
  CTolvarineClassFactory(ModuleLockCount* module, ObjectCreator creator)
      : module_(module), creator_(creator) {}
  ~CTolvarineClassFactory() = default;

  std::atomic<ULONG> refs_{1};
  // Outstanding LockServer(TRUE) calls: an unlock without a matching lock is
  // ignored rather than taking a lock that a live object holds.
  std::atomic<LONG> serverLocks_{0};
  ModuleLockCount* const module_;
  const ObjectCreator creator_;
};
