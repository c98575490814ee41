// Keeps exceptions from crossing an interface operation: the only ones the
// code raises are the standard library's out-of-memory and container length
// errors, and a caller through a COM interface must see those as
// E_OUTOFMEMORY. The one guard every layer uses for that.
#pragma once

#include <new>
#include <stdexcept>
#include <type_traits>
#include <utility>

#include "platform/com_types.h"

namespace plat {

// The failure an HRESULT operation reports when memory runs out.
inline HRESULT OutOfMemoryResult() noexcept {
  return E_OUTOFMEMORY;
}

// The failure a Win32-style operation (false, with the reason as the last
// error) reports when memory runs out.
inline bool OutOfMemoryError() noexcept {
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return false;
}

// Runs `body`; when an allocation inside it fails, returns what `failed()`
// returns instead (E_OUTOFMEMORY unless told otherwise). `failed` must not
// throw: it runs where nothing can catch.
template <class Body, class Failed = HRESULT (*)() noexcept>
std::invoke_result_t<Body> NoThrow(Body&& body, Failed&& failed = &OutOfMemoryResult) noexcept {
  try {
    return std::forward<Body>(body)();
  } catch (const std::bad_alloc&) {
    return std::forward<Failed>(failed)();
  } catch (const std::length_error&) {
    return std::forward<Failed>(failed)();
  }
}

}  // namespace plat
