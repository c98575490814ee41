// VARIANT: the tagged value of OLE Automation, for the types this system
// passes around (empty, 16- and 32-bit integers, booleans and BSTRs).
#pragma once

#include <cstdint>

#include "platform/bstr.h"
#include "platform/com_types.h"

using VARTYPE = uint16_t;
constexpr VARTYPE VT_EMPTY = 0;
constexpr VARTYPE VT_NULL = 1;
constexpr VARTYPE VT_I2 = 2;
constexpr VARTYPE VT_I4 = 3;
constexpr VARTYPE VT_BSTR = 8;
constexpr VARTYPE VT_BOOL = 11;
constexpr VARTYPE VT_UNKNOWN = 13;

constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;

struct VARIANT {
  VARTYPE vt;
  uint16_t wReserved1, wReserved2, wReserved3;
  union {
    int16_t iVal;
    int32_t lVal;
    VARIANT_BOOL boolVal;
    BSTR bstrVal;
    int64_t llVal;  // Keeps the union 8 bytes wide, as COM's is.
  };
};

void VariantInit(VARIANT* value);
// Frees what the value owns (its BSTR) and makes it VT_EMPTY.
HRESULT VariantClear(VARIANT* value);
// Deep copy: the destination is cleared first; a BSTR is duplicated.
// E_OUTOFMEMORY when the copy cannot be allocated; E_INVALIDARG for an
// unsupported type.
HRESULT VariantCopy(VARIANT* destination, const VARIANT* source);

namespace plat {
// Owns one VARIANT; clears it on destruction.
class Variant {
 public:
  Variant() { VariantInit(&v_); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  ~Variant() { VariantClear(&v_); }
  static Variant I4(int32_t v) { Variant r; r.v_.vt = VT_I4; r.v_.lVal = v; return r; }
  static Variant I2(int16_t v) { Variant r; r.v_.vt = VT_I2; r.v_.iVal = v; return r; }
  static Variant Bool(bool v) { Variant r; r.v_.vt = VT_BOOL; r.v_.boolVal = v ? VARIANT_TRUE : VARIANT_FALSE; return r; }
  // Takes ownership of the BSTR.
  static Variant Str(BSTR v) { Variant r; r.v_.vt = VT_BSTR; r.v_.bstrVal = v; return r; }
  Variant(Variant&& o) noexcept : v_(o.v_) { VariantInit(&o.v_); }
  VARIANT* Put() { VariantClear(&v_); return &v_; }
  const VARIANT& Get() const { return v_; }
  VARIANT& Ref() { return v_; }

 private:
  VARIANT v_;
};
}  // namespace plat
