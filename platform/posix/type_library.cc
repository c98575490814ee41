// No type library exists here to read (see the header).
#include "platform/type_library.h"

#include <algorithm>

namespace plat {

HRESULT GetTypeInfoFromLibrary(const TypeLibraryInterface&, UINT index, LCID, ITypeInfo** info) {
  if (!info) return E_POINTER;
  *info = nullptr;
  return index == 0 ? TYPE_E_ELEMENTNOTFOUND : DISP_E_BADINDEX;
}

HRESULT GetIDsOfNamesFromLibrary(const TypeLibraryInterface&, OLECHAR**, UINT count, LCID,
                                 DISPID* ids) {
  if (ids) std::fill_n(ids, count, DISPID_UNKNOWN);
  return TYPE_E_ELEMENTNOTFOUND;
}

HRESULT InvokeFromLibrary(const TypeLibraryInterface&, void*, DISPID, LCID, uint16_t, DISPPARAMS*,
                          VARIANT*, EXCEPINFO*, UINT*) {
  return TYPE_E_ELEMENTNOTFOUND;
}

}  // namespace plat
