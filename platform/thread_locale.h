// The calling thread's locale, as Windows keeps one per thread and its
// locale-dependent calls read it.
#pragma once

#include <cstdint>

namespace plat {

// For its lifetime, the thread that made it runs under the system's default
// locale; the thread's own locale comes back when it ends. On the other
// platforms a thread has no locale of its own that anything here reads
// (string comparison names its locale on every call), so it does nothing.
// REQUIRES: made and ended on the same thread.
class SystemLocaleScope {
 public:
  SystemLocaleScope();
  ~SystemLocaleScope();
  SystemLocaleScope(const SystemLocaleScope&) = delete;
  SystemLocaleScope& operator=(const SystemLocaleScope&) = delete;

 private:
  uint32_t saved_ = 0;
};

}  // namespace plat
