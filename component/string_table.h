// The component's user-visible texts, kept as a string-table resource (see
// platform/string_resource.h) and loaded by identifier at the moment they
// are needed: on Windows from the library's own string-table resource,
// elsewhere from the same table compiled into the library.
#pragma once

#include <cstdint>

#include "component/string_texts.h"
#include "platform/bstr.h"

enum ComponentString : uint32_t {
#define TOLVARINE_STRING_ID(name, identifier, text) name = identifier,
  TOLVARINE_COMPONENT_STRINGS(TOLVARINE_STRING_ID)
#undef TOLVARINE_STRING_ID
};

// The component's string `id` as a new BSTR (the caller frees it); a null
// BSTR when the string is missing or empty, or cannot be allocated.
BSTR LoadComponentString(uint32_t id);
