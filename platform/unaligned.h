// Values at any alignment inside a row: the one way every layer reads and
// writes a column's status, length or value in a buffer or stored row.
// memcpy of a constant size compiles to a single load or store.
#pragma once

#include <cstring>

namespace plat {

template <class T>
T Load(const void* value) {
  T result;
  std::memcpy(&result, value, sizeof(T));
  return result;
}

template <class T>
void Store(void* destination, T value) {
  std::memcpy(destination, &value, sizeof(T));
}

}  // namespace plat
