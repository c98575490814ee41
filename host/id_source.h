// The one counter from which every object of a pipeline draws its ID and
// every new column its lineage ID, so that no two objects, and no two
// columns, of one pipeline share a number.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

namespace host {

class IdSource {
 public:
  // Thread-safe; the first number is 1 (0 means "none" to the host).
  int32_t Next() { return next_.fetch_add(1, std::memory_order_relaxed); }

 private:
  std::atomic<int32_t> next_{1};
};

using IdSourcePtr = std::shared_ptr<IdSource>;

}  // namespace host
