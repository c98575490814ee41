// VARIANTs of every automation type a host may pass by value. A BSTR is
// owned (duplicated by a copy, freed by a clear); an interface pointer holds
// one reference (AddRef on copy, Release on clear); every other type is
// plain data. References (VT_BYREF), arrays and records are refused with
// DISP_E_BADVARTYPE: they point into the caller's memory or need type
// information this layer does not have, and a property value must outlive
// the call that set it.
//
// VariantCopy makes the copy before it clears the destination, so a copy that
// fails (no memory, unsupported type) leaves the destination as it was.
#include "platform/variant.h"

#include "platform/com.h"

namespace {

enum class Ownership { kNone, kString, kInterface, kUnsupported };

Ownership OwnershipOf(VARTYPE vt) {
  switch (vt) {
    case VT_EMPTY:
    case VT_NULL:
    case VT_I1:
    case VT_UI1:
    case VT_I2:
    case VT_UI2:
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_I8:
    case VT_UI8:
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_ERROR:
    case VT_BOOL:
    case VT_DECIMAL:
      return Ownership::kNone;
    case VT_BSTR:
      return Ownership::kString;
    case VT_UNKNOWN:
    case VT_DISPATCH:
      return Ownership::kInterface;
    default:
      return Ownership::kUnsupported;
  }
}

// VT_DISPATCH's pointer is an IDispatch, which is an IUnknown.
IUnknown* InterfaceOf(const VARIANT& value) {
  return value.vt == VT_DISPATCH ? static_cast<IUnknown*>(value.pdispVal) : value.punkVal;
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
  switch (OwnershipOf(value->vt)) {
    case Ownership::kUnsupported:
      return DISP_E_BADVARTYPE;
    case Ownership::kString:
      SysFreeString(value->bstrVal);
      break;
    case Ownership::kInterface:
      if (IUnknown* unknown = InterfaceOf(*value)) unknown->Release();
      break;
    case Ownership::kNone:
      break;
  }
  VariantInit(value);
  return S_OK;
}

HRESULT VariantCopy(VARIANT* destination, const VARIANT* source) {
  if (destination == nullptr || source == nullptr) return E_POINTER;
  if (destination == source) return S_OK;
  const Ownership ownership = OwnershipOf(source->vt);
  if (ownership == Ownership::kUnsupported) return DISP_E_BADVARTYPE;
  // The destination is checked before anything is taken, so a refusal
  // leaves nothing to undo.
  if (OwnershipOf(destination->vt) == Ownership::kUnsupported) return DISP_E_BADVARTYPE;
  VARIANT copy = *source;
  if (ownership == Ownership::kString && source->bstrVal != nullptr) {
    copy.bstrVal = SysAllocStringLen(source->bstrVal, SysStringLen(source->bstrVal));
    if (copy.bstrVal == nullptr) return E_OUTOFMEMORY;
  } else if (ownership == Ownership::kInterface) {
    if (IUnknown* unknown = InterfaceOf(copy)) unknown->AddRef();
  }
  VariantClear(destination);
  *destination = copy;
  return S_OK;
}
