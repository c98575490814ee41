// The private registry as a file that TOLVARINE_REGISTRY names.
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "host/component_factory.h"
#include "tests/server/posix/registry_file.h"

namespace servertest {

// Keeps TOLVARINE_REGISTRY as it was, to be restored.
struct ScopedRegistry::Backend {
  std::string old;
  bool hadOld = false;
};

ScopedRegistry::ScopedRegistry() : backend_(std::make_unique<Backend>()) {
  if (const char* old = std::getenv("TOLVARINE_REGISTRY")) {
    backend_->old = old;
    backend_->hadOld = true;
  }
  setenv("TOLVARINE_REGISTRY", RegistryFile(*this).c_str(), 1);
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

// The fields are kept as "Name=text\0" in a section of the library.
std::string VersionField(const std::filesystem::path& library, const std::string& name) {
  std::ifstream in(library, std::ios::binary);
  const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  const std::string field = name + '=';
  for (size_t at = bytes.find(field); at != std::string::npos; at = bytes.find(field, at + 1)) {
    if (at > 0 && std::isalnum(static_cast<unsigned char>(bytes[at - 1]))) {
      continue;  // The end of a longer name (NumericFileVersion).
    }
    const size_t text = at + field.size();
    return bytes.substr(text, bytes.find('\0', text) - text);
  }
  return {};
}

}  // namespace servertest
