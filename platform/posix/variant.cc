// VARIANTs of the types this system passes around. Only VT_BSTR owns
// anything. VT_UNKNOWN is not supported: the VARIANT here has no interface
// member to hold a reference, so a VT_UNKNOWN value is refused by VariantCopy
// and left alone by VariantClear (both E_INVALIDARG), as is any other type.
//
// VariantCopy makes the copy before it clears the destination, so a copy that
// fails (no memory, unsupported type) leaves the destination as it was.
#include "platform/variant.h"

namespace {

bool OwnsNothing(VARTYPE vt) {
  return vt == VT_EMPTY || vt == VT_NULL || vt == VT_I2 || vt == VT_I4 || vt == VT_BOOL;
}

}  // namespace

void VariantInit(VARIANT* value) {
  if (value == nullptr) return;
  value->vt = VT_EMPTY;
  value->wReserved1 = value->wReserved2 = value->wReserved3 = 0;
  value->llVal = 0;
}

HRESULT VariantClear(VARIANT* value) {
  if (value == nullptr) return E_POINTER;
  if (value->vt == VT_BSTR) {
    SysFreeString(value->bstrVal);
  } else if (!OwnsNothing(value->vt)) {
    return E_INVALIDARG;
  }
  VariantInit(value);
  return S_OK;
}

HRESULT VariantCopy(VARIANT* destination, const VARIANT* source) {
  if (destination == nullptr || source == nullptr) return E_POINTER;
  if (destination == source) return S_OK;
  VARIANT copy = *source;
  if (source->vt == VT_BSTR) {
    if (source->bstrVal != nullptr) {
      copy.bstrVal = SysAllocStringLen(source->bstrVal, SysStringLen(source->bstrVal));
      if (copy.bstrVal == nullptr) return E_OUTOFMEMORY;
    }
  } else if (!OwnsNothing(source->vt)) {
    return E_INVALIDARG;
  }
  const HRESULT hr = VariantClear(destination);
  if (FAILED(hr)) {
    if (copy.vt == VT_BSTR) SysFreeString(copy.bstrVal);
    return hr;
  }
  *destination = copy;
  return S_OK;
}
