// VARIANT: the tagged value of OLE Automation. A host may hand the component
// any automation type, so every scalar type, BSTR, DECIMAL and interface
// pointers can be held, copied and cleared; references (VT_BYREF), arrays and
// records cannot (DISP_E_BADVARTYPE).
#pragma once

#include <cstdint>
#include <cstring>

#include "platform/bstr.h"
#include "platform/com_types.h"
#include "platform/decimal.h"

#ifndef _WIN32
struct IUnknown;
struct IDispatch;

using VARTYPE = uint16_t;
constexpr VARTYPE VT_EMPTY = 0;
constexpr VARTYPE VT_NULL = 1;
constexpr VARTYPE VT_I2 = 2;
constexpr VARTYPE VT_I4 = 3;
constexpr VARTYPE VT_R4 = 4;
constexpr VARTYPE VT_R8 = 5;
constexpr VARTYPE VT_CY = 6;
constexpr VARTYPE VT_DATE = 7;
constexpr VARTYPE VT_BSTR = 8;
constexpr VARTYPE VT_DISPATCH = 9;
constexpr VARTYPE VT_ERROR = 10;
constexpr VARTYPE VT_BOOL = 11;
constexpr VARTYPE VT_VARIANT = 12;
constexpr VARTYPE VT_UNKNOWN = 13;
constexpr VARTYPE VT_DECIMAL = 14;
constexpr VARTYPE VT_I1 = 16;
constexpr VARTYPE VT_UI1 = 17;
constexpr VARTYPE VT_UI2 = 18;
constexpr VARTYPE VT_UI4 = 19;
constexpr VARTYPE VT_I8 = 20;
constexpr VARTYPE VT_UI8 = 21;
constexpr VARTYPE VT_INT = 22;
constexpr VARTYPE VT_UINT = 23;
constexpr VARTYPE VT_RECORD = 36;
constexpr VARTYPE VT_ARRAY = 0x2000;
constexpr VARTYPE VT_BYREF = 0x4000;

constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;

using DATE = double;  // Days since 30 December 1899; the fraction is the time of day.
using SCODE = int32_t;
struct CY {
  int64_t int64;  // Currency: the value times 10,000.
};

// 16 bytes, as COM's VARIANT on 32-bit Windows. A VT_DECIMAL value fills
// all 16 bytes except `vt` (DECIMAL's own reserved field); read and write
// it with GetDecimal and SetDecimal.
struct VARIANT {
  VARTYPE vt;
  uint16_t wReserved1, wReserved2, wReserved3;
  union {
    int8_t cVal;
    uint8_t bVal;
    int16_t iVal;
    uint16_t uiVal;
    int32_t lVal;
    uint32_t ulVal;
    int32_t intVal;
    uint32_t uintVal;
    int64_t llVal;
    uint64_t ullVal;
    float fltVal;
    double dblVal;
    VARIANT_BOOL boolVal;
    SCODE scode;
    CY cyVal;
    DATE date;
    BSTR bstrVal;
    IUnknown* punkVal;
    IDispatch* pdispVal;
  };
};
static_assert(sizeof(VARIANT) == 16 && sizeof(DECIMAL) == 16);
#endif  // _WIN32

// DECIMAL shares its 16 bytes with the VARIANT it is in: its reserved
// field is the VARIANT's type.
static_assert(sizeof(VARIANT) >= sizeof(DECIMAL));

inline DECIMAL GetDecimal(const VARIANT& value) {
  DECIMAL d;
  std::memcpy(&d, &value, sizeof d);
  d.wReserved = 0;
  return d;
}
inline void SetDecimal(VARIANT* value, const DECIMAL& d) {
  std::memcpy(value, &d, sizeof d);
  value->vt = VT_DECIMAL;
}

#ifndef _WIN32
void VariantInit(VARIANT* value);
// Frees what the value owns (its BSTR, or a reference to its interface) and
// makes it VT_EMPTY. DISP_E_BADVARTYPE, value untouched, for a type that
// cannot be held.
HRESULT VariantClear(VARIANT* value);
// Deep copy: a BSTR is duplicated, an interface gets one more reference,
// everything else is copied as it is; then the destination is cleared and
// receives the copy. E_OUTOFMEMORY when the copy cannot be allocated;
// DISP_E_BADVARTYPE for VT_BYREF, VT_ARRAY, VT_RECORD and unknown types. A
// failed copy leaves the destination as it was.
HRESULT VariantCopy(VARIANT* destination, const VARIANT* source);

#endif  // _WIN32

namespace plat {
// Owns one VARIANT; clears it on destruction.
class Variant {
 public:
  Variant() { VariantInit(&v_); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  ~Variant() { VariantClear(&v_); }
  static Variant I4(int32_t v) { return Of(VT_I4, &VARIANT::lVal, v); }
  static Variant I2(int16_t v) { return Of(VT_I2, &VARIANT::iVal, v); }
  static Variant Bool(bool v) {
    return Of(VT_BOOL, &VARIANT::boolVal, v ? VARIANT_TRUE : VARIANT_FALSE);
  }
  // Takes ownership of the BSTR.
  static Variant Str(BSTR v) { return Of(VT_BSTR, &VARIANT::bstrVal, v); }
  Variant(Variant&& o) noexcept : v_(o.v_) { VariantInit(&o.v_); }
  VARIANT* Put() {
    VariantClear(&v_);
    return &v_;
  }
  const VARIANT& Get() const { return v_; }
  VARIANT& Ref() { return v_; }

 private:
  // The member's type may be wider in name than the value's (LONG and
  // int32_t on Windows) but never in size.
  template <typename M, typename T>
  static Variant Of(VARTYPE vt, M VARIANT::*member, T v) {
    static_assert(sizeof(M) == sizeof(T));
    Variant r;
    r.v_.vt = vt;
    r.v_.*member = static_cast<M>(v);
    return r;
  }

  VARIANT v_;
};
}  // namespace plat
