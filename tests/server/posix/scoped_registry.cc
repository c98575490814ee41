// The private registry as a file that TOLVARINE_REGISTRY names.
#include <cstdlib>

#include "host/component_factory.h"
#include "tests/server/server_test_support.h"

namespace servertest {

struct ScopedRegistry::Backend {
  std::string old;
  bool hadOld = false;
};

ScopedRegistry::ScopedRegistry() : backend_(std::make_unique<Backend>()) {
  if (const char* old = std::getenv("TOLVARINE_REGISTRY")) {
    backend_->old = old;
    backend_->hadOld = true;
  }
  setenv("TOLVARINE_REGISTRY", (Directory() / "registry.reg").c_str(), 1);
}

ScopedRegistry::~ScopedRegistry() {
  if (backend_->hadOld) {
    setenv("TOLVARINE_REGISTRY", backend_->old.c_str(), 1);
  } else {
    unsetenv("TOLVARINE_REGISTRY");
  }
}

plat::RegistryTree ScopedRegistry::Load() const {
  plat::RegistryTree tree;
  EXPECT_TRUE(plat::LoadRegistry(&tree));
  return tree;
}

void ScopedRegistry::Change(const std::function<void(plat::RegistryKeys&)>& edit) {
  plat::RegistryTransaction transaction;
  ASSERT_TRUE(transaction.Begin());
  edit(transaction.Tree());
  ASSERT_TRUE(transaction.Commit());
}

std::filesystem::path LibraryFile() {
  const char* dir = std::getenv("TOLVARINE_BUILD_DIR");
  return std::filesystem::absolute(std::filesystem::path(dir ? dir : ".") / "libtolvarine.so");
}

HRESULT CreateRegisteredComponent(REFIID iid, void** object) {
  return host::CreateInstanceByProgID(u"Tolvarine.Tolvarine", iid, object);
}

}  // namespace servertest
