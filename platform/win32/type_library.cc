// Type information through OLE Automation's type library loader.
#include "platform/type_library.h"

#include <algorithm>
#include <string>

#include "platform/library.h"
#include "platform/win32/wide_text.h"

namespace plat {

namespace {

// The library as registered, else as the module carries it; a library
// the module carries under another identifier is not this one.
HRESULT OpenTypeLibrary(const TypeLibraryInterface& source, LCID locale, ITypeLib** library) {
  *library = nullptr;
  if (SUCCEEDED(::LoadRegTypeLib(source.Library, source.MajorVersion, source.MinorVersion, locale,
                                 library))) {
    return S_OK;
  }
  std::u16string path;
  if (!GetModuleFileName(source.ModuleAddress, &path)) return HResultFromLastError();
  const wchar_t* wide = WidePath(path);
  if (!wide) return HResultFromLastError();
  HRESULT hr = ::LoadTypeLibEx(wide, REGKIND_NONE, library);
  if (FAILED(hr)) return hr;
  TLIBATTR* attributes = nullptr;
  hr = (*library)->GetLibAttr(&attributes);
  if (SUCCEEDED(hr)) {
    if (!::IsEqualGUID(attributes->guid, source.Library)) hr = TYPE_E_LIBNOTREGISTERED;
    (*library)->ReleaseTLibAttr(attributes);
  }
  if (FAILED(hr)) {
    (*library)->Release();
    *library = nullptr;
  }
  return hr;
}

HRESULT LoadTypeInfo(const TypeLibraryInterface& source, LCID locale, ITypeInfo** info) {
  *info = nullptr;
  ITypeLib* library = nullptr;
  HRESULT hr = OpenTypeLibrary(source, locale, &library);
  if (FAILED(hr)) return hr;
  hr = library->GetTypeInfoOfGuid(source.Interface, info);
  library->Release();
  return hr;
}

}  // namespace

HRESULT GetTypeInfoFromLibrary(const TypeLibraryInterface& source, UINT index, LCID locale,
                               ITypeInfo** info) {
  if (!info) return E_POINTER;
  *info = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  return LoadTypeInfo(source, locale, info);
}

HRESULT GetIDsOfNamesFromLibrary(const TypeLibraryInterface& source, OLECHAR** names, UINT count,
                                 LCID locale, DISPID* ids) {
  ITypeInfo* info = nullptr;
  HRESULT hr = LoadTypeInfo(source, locale, &info);
  if (FAILED(hr)) {
    if (ids) std::fill_n(ids, count, DISPID_UNKNOWN);
    return hr;
  }
  hr = ::DispGetIDsOfNames(info, names, count, ids);
  info->Release();
  return hr;
}

HRESULT InvokeFromLibrary(const TypeLibraryInterface& source, void* object, DISPID member,
                          LCID locale, uint16_t flags, DISPPARAMS* params, VARIANT* result,
                          EXCEPINFO* exception, UINT* argError) {
  ITypeInfo* info = nullptr;
  HRESULT hr = LoadTypeInfo(source, locale, &info);
  if (FAILED(hr)) return hr;
  hr = ::DispInvoke(object, info, member, flags, params, result, exception, argError);
  info->Release();
  return hr;
}

}  // namespace plat
