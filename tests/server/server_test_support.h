// Shared by the server tests: a private registry, the built library's path, the library loaded.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "interfaces/component_interfaces.h"
#include "platform/bstr.h"
#include "platform/com.h"
#include "platform/library.h"
#include "platform/registry.h"
#include "tests/support/test_files.h"

namespace servertest {

// A private registry standing in for HKEY_CLASSES_ROOT while it lives, with a scratch directory:
// a file TOLVARINE_REGISTRY names on POSIX, a key under HKEY_CURRENT_USER on Windows.
class ScopedRegistry {
 public:
  ScopedRegistry();
  ~ScopedRegistry();
  ScopedRegistry(const ScopedRegistry&) = delete;
  ScopedRegistry& operator=(const ScopedRegistry&) = delete;

  const std::filesystem::path& Directory() const { return dir_.path(); }
  plat::RegistryTree Load() const;  // A snapshot; fails the test when unreadable.
  // Applies changes as the library sees them; fails the test when refused.
  void Change(const std::function<void(plat::RegistryKeys&)>& edit);

  struct Backend;

 private:
  testsupport::TempDir dir_{"tolvarine-server-"};
  std::unique_ptr<Backend> backend_;
};

// The built library: in $TOLVARINE_BUILD_DIR (ctest sets it), else on Windows above tests/.
std::filesystem::path LibraryFile();

// The component created through its registration: by ProgID on POSIX; on Windows from the
// registered InprocServer32 (COM reads the machine's classes; scripts/test-windows covers that).
HRESULT CreateRegisteredComponent(REFIID iid, void** object);

// The keys that are the library's own (not the shared AppID, CLSID and TypeLib).
inline std::vector<std::u16string> LibraryKeys() {
  return {u"AppID\\" + plat::GuidToString(APPID_Tolvarine), u"AppID\\Tolvarine.DLL",
          u"Tolvarine.Tolvarine.1", u"Tolvarine.Tolvarine",
          u"CLSID\\" + plat::GuidToString(CLSID_Tolvarine),
          u"TypeLib\\" + plat::GuidToString(LIBID_TolvarineLib)};
}

inline std::u16string U16(const std::filesystem::path& path) {
  return path.u16string();
}

// The library loaded from `path` for the life of the object.
class LoadedServer {
 public:
  explicit LoadedServer(const std::filesystem::path& path = LibraryFile())
      : path_(path), handle_(plat::LoadLibrary(U16(path))) {
    if (!handle_) return;
    Get(&GetClassObject, "DllGetClassObject");
    Get(&CanUnloadNow, "DllCanUnloadNow");
    Get(&RegisterServer, "DllRegisterServer");
    Get(&UnregisterServer, "DllUnregisterServer");
  }
  ~LoadedServer() { plat::FreeLibrary(handle_); }
  LoadedServer(const LoadedServer&) = delete;
  LoadedServer& operator=(const LoadedServer&) = delete;

  ::testing::AssertionResult Ready() const {
    if (handle_ && GetClassObject && CanUnloadNow && RegisterServer && UnregisterServer) {
      return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "cannot load " << path_ << " with its entry points; set TOLVARINE_BUILD_DIR";
  }

  DllGetClassObjectFn GetClassObject = nullptr;
  DllCanUnloadNowFn CanUnloadNow = nullptr;
  DllRegisterServerFn RegisterServer = nullptr;
  DllUnregisterServerFn UnregisterServer = nullptr;

 private:
  template <class F>
  void Get(F* entry, const char* name) {
    *entry = reinterpret_cast<F>(plat::GetProcAddress(handle_, name));
  }
  std::filesystem::path path_;
  plat::LibraryHandle handle_;
};

}  // namespace servertest
