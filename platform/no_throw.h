// Keeps exceptions from crossing an interface operation: the only ones the
// code raises are the standard library's out-of-memory and container length
// errors, and a caller through a COM interface must see those as
// E_OUTOFMEMORY. The one guard every layer uses for that.
#pragma once

#include <new>
#include <stdexcept>
#include <utility>

#include "platform/com_types.h"

namespace plat {

// Runs `body` (returning an HRESULT); a failed allocation inside it becomes
// E_OUTOFMEMORY.
template <class Body>
HRESULT NoThrow(Body&& body) noexcept {
  try {
    return std::forward<Body>(body)();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (const std::length_error&) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace plat
