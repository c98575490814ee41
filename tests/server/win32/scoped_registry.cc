// The private registry: a fresh key under HKEY_CURRENT_USER that replaces HKEY_CLASSES_ROOT in
// this process (RegOverridePredefKey).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "host/component_factory.h"
#include "tests/server/server_test_support.h"

namespace servertest {

namespace {

constexpr wchar_t kTestsKey[] = L"Software\\Tolvarine tests";

// Copies the key at `path` with everything under it into `to`.
bool Copy(const plat::SystemClassesRoot& from, const std::u16string& path, plat::RegistryTree* to) {
  std::vector<plat::RegistryValue> values;
  std::vector<std::u16string> subkeys;
  if (!to->CreateKey(path) || !from.EnumValues(path, &values) ||
      !from.EnumSubkeys(path, &subkeys)) {
    return false;
  }
  for (const plat::RegistryValue& value : values) {
    const bool set = value.ValueType == plat::RegistryValue::Type::kDword
                         ? to->SetDword(path, value.Name, value.Number)
                         : to->SetString(path, value.Name, value.Text);
    if (!set) return false;
  }
  for (const std::u16string& name : subkeys) {
    if (!Copy(from, path.empty() ? name : path + u"\\" + name, to)) return false;
  }
  return true;
}

// Without the private registry the library would register into the machine's classes.
[[noreturn]] void Abandon(const char* what, LSTATUS status) {
  std::fprintf(stderr, "%s (error %ld); the server tests cannot run\n", what,
               static_cast<long>(status));
  std::exit(EXIT_FAILURE);
}

}  // namespace

struct ScopedRegistry::Backend {
  std::wstring path;  // Under HKEY_CURRENT_USER.
  HKEY key = nullptr;
};

ScopedRegistry::ScopedRegistry() : backend_(std::make_unique<Backend>()) {
  std::random_device random;
  DWORD disposition = 0;
  do {
    if (backend_->key) ::RegCloseKey(backend_->key);
    backend_->path = std::wstring(kTestsKey) + L"\\" + std::to_wstring(random());
    const LSTATUS status = ::RegCreateKeyExW(HKEY_CURRENT_USER, backend_->path.c_str(), 0, nullptr,
                                             REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                                             &backend_->key, &disposition);
    if (status != ERROR_SUCCESS) Abandon("cannot create a key under HKEY_CURRENT_USER", status);
  } while (disposition != REG_CREATED_NEW_KEY);
  const LSTATUS status = ::RegOverridePredefKey(HKEY_CLASSES_ROOT, backend_->key);
  if (status != ERROR_SUCCESS) Abandon("RegOverridePredefKey failed", status);
}

ScopedRegistry::~ScopedRegistry() {
  EXPECT_EQ(::RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr), ERROR_SUCCESS);
  ::RegCloseKey(backend_->key);
  EXPECT_EQ(::RegDeleteTreeW(HKEY_CURRENT_USER, backend_->path.c_str()), ERROR_SUCCESS);
  ::RegDeleteKeyW(HKEY_CURRENT_USER, kTestsKey);
}

plat::RegistryTree ScopedRegistry::Load() const {
  plat::RegistryTree tree;
  EXPECT_TRUE(Copy(plat::SystemClassesRoot{}, u"", &tree)) << ::GetLastError();
  return tree;
}

void ScopedRegistry::Change(const std::function<void(plat::RegistryKeys&)>& edit) {
  plat::SystemClassesRoot keys;
  edit(keys);
}

std::filesystem::path LibraryFile() {
  const wchar_t* dir = ::_wgetenv(L"TOLVARINE_BUILD_DIR");
  if (dir && *dir) {
    return std::filesystem::absolute(std::filesystem::path(dir) / "Tolvarine.dll").make_preferred();
  }
  std::wstring program(32768, L'\0');  // The longest path Windows allows.
  program.resize(::GetModuleFileNameW(nullptr, program.data(), static_cast<DWORD>(program.size())));
  return std::filesystem::path(program).parent_path().parent_path() / "Tolvarine.dll";
}

HRESULT CreateRegisteredComponent(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  std::u16string library;
  const HRESULT hr = host::GetInprocServerPath(CLSID_Tolvarine, &library);
  if (FAILED(hr)) return hr;
  return host::CreateInstanceFromLibrary(library, CLSID_Tolvarine, iid, object);
}

}  // namespace servertest
