#include "component/custom_properties.h"

#include "platform/bstr.h"
#include "platform/variant.h"

HRESULT GetCustomPropertyByName(IDTSCustomPropertyCollection90* properties, const char16_t* name,
                                IDTSCustomProperty90** property) {
  plat::Variant index = plat::Variant::Str(SysAllocString(name));
  if (!index.Get().bstrVal) return E_OUTOFMEMORY;
  return properties->get_Item(index.Get(), property);
}
