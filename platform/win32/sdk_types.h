// The Windows SDK's COM and OLE Automation types, for the public platform
// headers on Windows. There IUnknown, IDispatch, IClassFactory, GUID,
// VARIANT, DECIMAL and BSTR are the system's own, so that the component is
// called by real hosts through the real ABI (stdcall vtables on 32-bit
// Windows, a 24-byte VARIANT on 64-bit Windows).
//
// The code above platform/ keeps its 16-bit strings as char16_t; BSTR and
// OLECHAR are wchar_t here. Both are UTF-16 code units on Windows, so the
// overloads below take char16_t text where the SDK takes OLECHAR text, and
// plat::BstrView reads a BSTR as char16_t.
//
// windows.h renames CreateEvent, LoadLibrary, DeleteFile and GetTempPath to
// their A or W forms by macro, which would also rename plat:: functions of
// those names; the macros are dropped here, and the backend calls the W
// forms by their full names.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <objbase.h>
#include <oleauto.h>
#include <unknwn.h>
#include <windows.h>

#include <cstddef>
#include <cstdint>

#undef CreateEvent
#undef LoadLibrary
#undef DeleteFile
#undef GetTempPath
#undef CreateFile
#undef MoveFile
#undef CopyFile
#undef CreateDirectory
#undef RemoveDirectory
#undef GetFileAttributes
#undef RegCreateKey
#undef RegOpenKey
#undef RegDeleteKey
#undef RegQueryValue
#undef RegSetValue
#undef GetModuleFileName
#undef CompareString
#undef GetMessage
#undef FormatMessage
#undef GetEnvironmentVariable
#undef GetFullPathName
#undef GetDriveType
#undef GetTempFileName

// plat::CompareStringA/W name their flags and results as the SDK does, with
// the same values, as constants of namespace plat.
#undef CSTR_LESS_THAN
#undef CSTR_EQUAL
#undef CSTR_GREATER_THAN
#undef NORM_IGNORECASE
#undef NORM_IGNORENONSPACE
#undef NORM_IGNORESYMBOLS
#undef LINGUISTIC_IGNORECASE
#undef LINGUISTIC_IGNOREDIACRITIC
#undef SORT_STRINGSORT
#undef NORM_IGNOREKANATYPE
#undef NORM_IGNOREWIDTH
#undef NORM_LINGUISTIC_CASING
#undef SORT_DIGITSASNUMBERS

static_assert(sizeof(wchar_t) == sizeof(char16_t), "OLECHAR must be a UTF-16 code unit");

// A null source is allowed by both, and must not be ambiguous between them.
inline BSTR SysAllocString(std::nullptr_t) {
  return nullptr;
}
inline BSTR SysAllocStringLen(std::nullptr_t, uint32_t length) {
  return ::SysAllocStringLen(static_cast<const OLECHAR*>(nullptr), length);
}
// The source of a copy is not changed; the SDK's declaration omits const.
inline HRESULT VariantCopy(VARIANT* destination, const VARIANT* source) {
  return ::VariantCopy(destination, const_cast<VARIANT*>(source));
}
inline BSTR SysAllocString(const char16_t* text) {
  return ::SysAllocString(reinterpret_cast<const OLECHAR*>(text));
}
inline BSTR SysAllocStringLen(const char16_t* text, uint32_t length) {
  return ::SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text), length);
}
