// Where ScopedRegistry keeps the registry on POSIX: one file in its
// directory, for the tests of the file itself.
#pragma once

#include "tests/server/server_test_support.h"

namespace servertest {

inline std::filesystem::path RegistryFile(const ScopedRegistry& registry) {
  return registry.Directory() / "registry.reg";
}

}  // namespace servertest
