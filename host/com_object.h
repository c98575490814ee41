// The COM plumbing shared by every host object: an atomic reference count,
// QueryInterface answering IUnknown and the object's one interface, and a
// process-wide count of live host objects (tests use it to prove that every
// reference handed out was released).
#pragma once

#include <atomic>
#include <cstdint>
#include <new>
#include <stdexcept>
#include <utility>

#include "interfaces/pipeline_interfaces.h"
#include "platform/com.h"
#include "platform/no_throw.h"

namespace host {

// The IID of each interface that a host object implements.
template <class Interface>
struct InterfaceId;
#define TOLVARINE_HOST_IID(Interface)            \
  template <>                                    \
  struct InterfaceId<Interface> {                \
    static IID Get() { return IID_##Interface; } \
  }
TOLVARINE_HOST_IID(IDTSComponentMetaData90);
TOLVARINE_HOST_IID(IDTSInputCollection90);
TOLVARINE_HOST_IID(IDTSInput90);
TOLVARINE_HOST_IID(IDTSOutputCollection90);
TOLVARINE_HOST_IID(IDTSOutput90);
TOLVARINE_HOST_IID(IDTSInputColumnCollection90);
TOLVARINE_HOST_IID(IDTSInputColumn90);
TOLVARINE_HOST_IID(IDTSOutputColumnCollection90);
TOLVARINE_HOST_IID(IDTSOutputColumn90);
TOLVARINE_HOST_IID(IDTSVirtualInput90);
TOLVARINE_HOST_IID(IDTSVirtualInputColumnCollection90);
TOLVARINE_HOST_IID(IDTSVirtualInputColumn90);
TOLVARINE_HOST_IID(IDTSCustomPropertyCollection90);
TOLVARINE_HOST_IID(IDTSCustomProperty90);
TOLVARINE_HOST_IID(IDTSBufferManager90);
TOLVARINE_HOST_IID(IDTSBuffer90);
#undef TOLVARINE_HOST_IID

// Number of host objects alive in the process.
int64_t LiveObjectCount();

namespace internal {
void CountObject(int delta);
}  // namespace internal

// Base of every host object. Objects start with no reference; MakeObject
// hands out the first. The object deletes itself when the count drops to 0.
template <class Interface>
class ComObject : public Interface {
 public:
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IUnknown || iid == InterfaceId<Interface>::Get()) {
      *object = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
  }
  // The current count; only meaningful while no other thread holds a
  // reference that it may release.
  ULONG RefCount() const { return refs_.load(std::memory_order_acquire); }

 protected:
  ComObject() { internal::CountObject(1); }
  virtual ~ComObject() { internal::CountObject(-1); }

 private:
  std::atomic<ULONG> refs_{0};
};

// Creates a host object holding its first reference; null when memory runs out.
template <class T, class... Args>
ComPtr<T> MakeObject(Args&&... args) {
  T* object = new (std::nothrow) T(std::forward<Args>(args)...);
  return ComPtr<T>(object);
}

// The one allocation guard of every layer (platform/no_throw.h).
using plat::NoThrow;

// Hands a reference to `object` out through an interface out-argument.
template <class Interface, class T>
HRESULT HandOut(const ComPtr<T>& object, Interface** out) {
  if (out == nullptr) return E_POINTER;
  *out = object.Get();
  if (*out) (*out)->AddRef();
  return S_OK;
}

}  // namespace host
