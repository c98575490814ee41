// CTolvarine's identity and lifetime: creation, QueryInterface, reference
// counting and the IDispatch answers.
#include "component/tolvarine.h"

#include <new>

#include "platform/no_throw.h"
#include "platform/type_library.h"

CTolvarine::CTolvarine(ModuleLockCount* module) : moduleLock_(module) {}

CTolvarine::~CTolvarine() = default;

HRESULT CTolvarine::CreateInstance(ModuleLockCount* module, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  return plat::NoThrow([&]() -> HRESULT {
    CTolvarine* component = new (std::nothrow) CTolvarine(module);
    if (!component) return E_OUTOFMEMORY;
    // The object lives from its first reference; a refused interface leaves
    // it without one, so it is destroyed here.
    HRESULT hr = component->QueryInterface(iid, object);
    if (FAILED(hr)) delete component;
    return hr;
  });
}

HRESULT STDMETHODCALLTYPE CTolvarine::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IDTSRuntimeComponent90 || iid == IID_IDispatch) {
    *object = static_cast<IDTSRuntimeComponent90*>(this);
  } else if (iid == IID_IDTSDesigntimeComponent90) {
    *object = static_cast<IDTSDesigntimeComponent90*>(this);
  } else if (iid == IID_ITolvarine) {
    *object = static_cast<ITolvarine*>(this);
  } else if (iid == IID_ITolvarineStatistics) {
    *object = static_cast<ITolvarineStatistics*>(this);
  } else {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG STDMETHODCALLTYPE CTolvarine::AddRef() {
  return refs_.fetch_add(1, std::memory_order_relaxed) + 1;
}

ULONG STDMETHODCALLTYPE CTolvarine::Release() {
  // acq_rel: every use of the object by other threads happens before its
  // destruction by the thread that drops the last reference.
  ULONG remaining = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (remaining == 0) delete this;
  return remaining;
}

HRESULT STDMETHODCALLTYPE CTolvarine::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 1;
  return S_OK;
}

namespace {

// An address inside this library, to find the type library it carries.
const char kModuleAnchor = 0;

// Both host interfaces answer IDispatch as the run-time interface, from the
// component's own type library. The library describes neither host
// interface, so these requests fail there with TYPE_E_ELEMENTNOTFOUND.
plat::TypeLibraryInterface RuntimeInterface() {
  return {&kModuleAnchor, LIBID_TolvarineLib, 1, 0, IID_IDTSRuntimeComponent90};
}

}  // namespace

HRESULT STDMETHODCALLTYPE CTolvarine::GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) {
  return plat::GetTypeInfoFromLibrary(RuntimeInterface(), index, locale, info);
}

HRESULT STDMETHODCALLTYPE CTolvarine::GetIDsOfNames(REFIID, OLECHAR** names, UINT count,
                                                    LCID locale, DISPID* ids) {
  return plat::GetIDsOfNamesFromLibrary(RuntimeInterface(), names, count, locale, ids);
}

HRESULT STDMETHODCALLTYPE CTolvarine::Invoke(DISPID member, REFIID, LCID locale, uint16_t flags,
                                             DISPPARAMS* params, VARIANT* result,
                                             EXCEPINFO* exception, UINT* argError) {
  return plat::InvokeFromLibrary(RuntimeInterface(), static_cast<IDTSRuntimeComponent90*>(this),
                                 member, locale, flags, params, result, exception, argError);
}
