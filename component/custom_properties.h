// Lookups in the host's collections by name and by position.
#pragma once

#include <cstdint>

#include "interfaces/pipeline_interfaces.h"

// The custom property called `name` (the index is a VT_BSTR holding it).
// E_OUTOFMEMORY when the name cannot be allocated; the host's failure, such
// as DTS_E_ELEMENTNOTFOUND, is returned unchanged.
HRESULT GetCustomPropertyByName(IDTSCustomPropertyCollection90* properties, const char16_t* name,
                                IDTSCustomProperty90** property);

// Item `position` of any collection (the index is a VT_I4).
template <class Item>
HRESULT GetItemAt(IDTSCollection<Item>* collection, int32_t position, Item** item) {
  VARIANT index;
  VariantInit(&index);
  index.vt = VT_I4;
  index.lVal = position;
  return collection->get_Item(index, item);
}
