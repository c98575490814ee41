// Shared by the server tests: a private registry file per test, the path of
// the built library, and a library loaded for one test with its entry points.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "interfaces/component_interfaces.h"
#include "platform/bstr.h"
#include "platform/library.h"
#include "platform/registry.h"

namespace servertest {

// A fresh directory under $TMPDIR (or /tmp), removed with everything in it.
class TempDir {
 public:
  TempDir() {
    std::random_device random;
    const auto base = std::filesystem::temp_directory_path();
    do {
      path_ = base / ("tolvarine-server-" + std::to_string(random()));
    } while (!std::filesystem::create_directory(path_));
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Points TOLVARINE_REGISTRY at a file of a fresh directory for the life of
// the object, and restores the variable afterwards.
class ScopedRegistry {
 public:
  ScopedRegistry() : file_(dir_.Path() / "registry.reg") {
    if (const char* old = std::getenv("TOLVARINE_REGISTRY")) {
      old_ = old;
      hadOld_ = true;
    }
    setenv("TOLVARINE_REGISTRY", file_.c_str(), 1);
  }
  ~ScopedRegistry() {
    if (hadOld_) {
      setenv("TOLVARINE_REGISTRY", old_.c_str(), 1);
    } else {
      unsetenv("TOLVARINE_REGISTRY");
    }
  }
  const std::filesystem::path& File() const { return file_; }
  const std::filesystem::path& Directory() const { return dir_.Path(); }
  // A snapshot of the registry; fails the test when it cannot be read.
  plat::RegistryTree Load() const {
    plat::RegistryTree tree;
    EXPECT_TRUE(plat::LoadRegistry(&tree));
    return tree;
  }

 private:
  TempDir dir_;
  std::filesystem::path file_;
  std::string old_;
  bool hadOld_ = false;
};

// The library built with the tests: in $TOLVARINE_BUILD_DIR, which ctest
// sets; run by hand, the test program needs it set to the build directory.
inline std::filesystem::path LibraryFile() {
  const char* dir = std::getenv("TOLVARINE_BUILD_DIR");
  return std::filesystem::absolute(std::filesystem::path(dir ? dir : ".") / "libtolvarine.so");
}

inline std::u16string U16(const std::filesystem::path& path) {
  return plat::Utf8ToUtf16(path.string());
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
           << "to the build directory that holds libtolvarine.so (ctest sets it)";
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
