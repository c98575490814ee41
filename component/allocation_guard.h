// Keeps exceptions from crossing the host boundary: the only ones the code
// raises are the standard library's out-of-memory and container length
// errors, and the host must see those as E_OUTOFMEMORY.
#pragma once

#include <new>
#include <stdexcept>
#include <utility>

#include "platform/com_types.h"

template <class Operation>
HRESULT GuardAllocations(Operation&& operation) noexcept {
  try {
    return std::forward<Operation>(operation)();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (const std::length_error&) {
    return E_OUTOFMEMORY;
  }
}
