// CTolvarineModule: the library as a COM server. It carries the library's
// application identifier, the table of creatable classes (one: the
// component) with the class object of each, created on first request and
// cached until the library is unloaded, and the lock count that decides when
// the library may be unloaded.
//
// The lock count is the number of live component objects, plus one while
// anyone outside holds a class object, plus one for each LockServer(TRUE)
// not yet matched by LockServer(FALSE). It changes only atomically.
#pragma once

#include <atomic>
#include <cstddef>

#include "component/module_lock.h"
#include "platform/com.h"
#include "platform/sync.h"
#include "server/class_factory.h"

struct ClassTableEntry {
  const CLSID* Clsid;
  ObjectCreator CreateObject;
};

class CTolvarineModule final : public ModuleLockCount {
 public:
  CTolvarineModule(const GUID& appID, const ClassTableEntry* classTable, size_t classCount);
  // Releases the cached class objects.
  ~CTolvarineModule();
  CTolvarineModule(const CTolvarineModule&) = delete;
  CTolvarineModule& operator=(const CTolvarineModule&) = delete;

  void Lock() override;
  void Unlock() override;
  LONG LockCount() const { return lockCount_.load(std::memory_order_acquire); }

  // DllGetClassObject: the class object of `clsid`, asked for `iid`.
  HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** object);
  // DllCanUnloadNow: S_OK when nothing holds a lock, else S_FALSE.
  HRESULT CanUnloadNow() const { return LockCount() == 0 ? S_OK : S_FALSE; }

  const GUID& AppID() const { return appID_; }

 private:
  static constexpr size_t kMaxClasses = 4;

  const GUID appID_;
  const ClassTableEntry* const classTable_;
  const size_t classCount_;
  std::atomic<LONG> lockCount_{0};
  // Guards the creation of class objects; the cache is read without it.
  plat::CriticalSection classObjectLock_;
  std::atomic<IClassFactory*> classObjects_[kMaxClasses] = {};
};

// The library's one module.
CTolvarineModule& TolvarineModule();
