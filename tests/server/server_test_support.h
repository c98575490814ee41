// Shared by the server tests: a private registry per test, the path of the
// built library, and a library loaded for one test with its entry points.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "interfaces/component_interfaces.h"
#include "platform/bstr.h"
#include "platform/library.h"
#include "platform/registry.h"
#include "tests/support/test_files.h"

namespace servertest {

// A private registry, standing in for HKEY_CLASSES_ROOT for the life of the
// object, with a scratch directory of its own. The library registers into it
// and the host's lookups read it: on POSIX a registry file that
// TOLVARINE_REGISTRY names, on Windows a fresh key under HKEY_CURRENT_USER
// that replaces HKEY_CLASSES_ROOT in this process. Implemented per backend
// (tests/server/<backend>/scoped_registry.cc). One at a time.
class ScopedRegistry {
 public:
  ScopedRegistry();
  ~ScopedRegistry();
  ScopedRegistry(const ScopedRegistry&) = delete;
  ScopedRegistry& operator=(const ScopedRegistry&) = delete;

  const std::filesystem::path& Directory() const { return dir_.path(); }
  // A snapshot of the whole registry; fails the test when it cannot be read.
  plat::RegistryTree Load() const;
  // Changes the registry as the library sees it, each change taking effect
  // whole; fails the test when the changes cannot be made.
  void Change(const std::function<void(plat::RegistryKeys&)>& edit);

  struct Backend;

 private:
  testsupport::TempDir dir_{"tolvarine-server-"};
  std::unique_ptr<Backend> backend_;
};

// The library built with the tests. In $TOLVARINE_BUILD_DIR, which ctest
// sets on POSIX (run by hand, the test program needs it set to the build
// directory); on Windows, without it, the directory above the test
// program's (build-win64/Tolvarine.dll beside build-win64/tests/).
std::filesystem::path LibraryFile();

// The component created as the host finds it through the registration of
// its class. On POSIX by its ProgID through the host's own activation. On
// Windows the COM runtime reads the machine's class registrations and not a
// replaced HKEY_CLASSES_ROOT (so Wine does), so the class's InprocServer32
// is read from the registry here and the library's class object creates the
// component; creation by ProgID through the COM runtime is covered by
// scripts/test-windows, which registers the library with regsvr32.
HRESULT CreateRegisteredComponent(REFIID iid, void** object);

// The text of a field of the library file's version information
// (FileVersion, ProductName ...); empty when it has none.
std::string VersionField(const std::filesystem::path& library, const std::string& name);

inline std::u16string U16(const std::filesystem::path& path) {
  return path.u16string();
}

// The library loaded from `path` for the life of the object.
class LoadedServer {
 public:
  explicit LoadedServer(const std::filesystem::path& path = LibraryFile())
      : path_(path), handle_(plat::LoadLibrary(U16(path))) {
    if (!handle_) return;
    GetClassObject =
        reinterpret_cast<DllGetClassObjectFn>(plat::GetProcAddress(handle_, "DllGetClassObject"));
    CanUnloadNow =
        reinterpret_cast<DllCanUnloadNowFn>(plat::GetProcAddress(handle_, "DllCanUnloadNow"));
    RegisterServer =
        reinterpret_cast<DllRegisterServerFn>(plat::GetProcAddress(handle_, "DllRegisterServer"));
    UnregisterServer = reinterpret_cast<DllUnregisterServerFn>(
        plat::GetProcAddress(handle_, "DllUnregisterServer"));
  }
  ~LoadedServer() { plat::FreeLibrary(handle_); }
  LoadedServer(const LoadedServer&) = delete;
  LoadedServer& operator=(const LoadedServer&) = delete;

  // Fails, saying what to set, when the library could not be loaded with
  // every entry point; a fixture asserts it in SetUp and calls nothing of the
  // library in TearDown unless it holds.
  ::testing::AssertionResult Ready() const {
    if (handle_ && GetClassObject && CanUnloadNow && RegisterServer && UnregisterServer) {
      return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "cannot load " << path_ << " with its four entry points; set TOLVARINE_BUILD_DIR "
           << "to the build directory that holds it (ctest sets it)";
  }

  DllGetClassObjectFn GetClassObject = nullptr;
  DllCanUnloadNowFn CanUnloadNow = nullptr;
  DllRegisterServerFn RegisterServer = nullptr;
  DllUnregisterServerFn UnregisterServer = nullptr;

 private:
  std::filesystem::path path_;
  plat::LibraryHandle handle_;
};

}  // namespace servertest
