// IDispatch's three type-information requests answered from a type library,
// as an object whose dispatch interface is described there answers them.
// The library is the one registered under its identifier and version for
// the caller's locale or, when none is, the one the module holding
// `ModuleAddress` carries as its resource TYPELIB 1, so that a component
// used without registration answers as a registered one does.
//
// Type libraries exist on Windows only. Libraries of the other platforms
// carry none and nothing here reads one: every request fails with
// TYPE_E_ELEMENTNOTFOUND, as for an interface a library does not describe.
#pragma once

#include <cstdint>

#include "platform/com.h"

namespace plat {

struct TypeLibraryInterface {
  const void* ModuleAddress;
  GUID Library;
  uint16_t MajorVersion;
  uint16_t MinorVersion;
  GUID Interface;  // The dispatch interface the requests are about.
};

// *info is null unless S_OK; an index other than 0 is DISP_E_BADINDEX.
HRESULT GetTypeInfoFromLibrary(const TypeLibraryInterface& source, UINT index, LCID locale,
                               ITypeInfo** info);
// Every name the library cannot map is DISPID_UNKNOWN in its place.
HRESULT GetIDsOfNamesFromLibrary(const TypeLibraryInterface& source, OLECHAR** names, UINT count,
                                 LCID locale, DISPID* ids);
// `object` is the interface pointer the member is invoked on.
HRESULT InvokeFromLibrary(const TypeLibraryInterface& source, void* object, DISPID member,
                          LCID locale, uint16_t flags, DISPPARAMS* params, VARIANT* result,
                          EXCEPINFO* exception, UINT* argError);

}  // namespace plat
