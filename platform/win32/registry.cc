// HKEY_CLASSES_ROOT through the registry API, one call per change.
#include "platform/registry.h"

#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "platform/no_throw.h"
#include "platform/win32/wide_text.h"

namespace plat {

namespace {

// Registry functions return their error instead of setting the last error.
bool Succeeded(LSTATUS status) {
  if (status == ERROR_SUCCESS) return true;
  ::SetLastError(static_cast<DWORD>(status));
  return false;
}

// An open key, closed on destruction.
class OpenKey {
 public:
  ~OpenKey() {
    if (key_) ::RegCloseKey(key_);
  }
  bool Open(std::u16string_view path, REGSAM access) {
    return Succeeded(::RegOpenKeyExW(HKEY_CLASSES_ROOT, WideCopy(path).c_str(), 0, access, &key_));
  }
  HKEY Get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

bool SetValue(std::u16string_view path, std::u16string_view name, DWORD type, const void* data,
              size_t size) {
  OpenKey key;
  return key.Open(path, KEY_SET_VALUE) &&
         Succeeded(::RegSetValueExW(key.Get(), WideCopy(name).c_str(), 0, type,
                                    static_cast<const BYTE*>(data), static_cast<DWORD>(size)));
}

// The longest name among the key's subkeys (`subkeys`) or values, and the
// largest value, as the key reports them; each enumeration reads into
// buffers of these sizes and starts again when the key grew meanwhile.
struct KeySizes {
  DWORD LongestSubkey = 0;
  DWORD LongestValueName = 0;
  DWORD LargestValue = 0;
};

bool QuerySizes(HKEY key, KeySizes* sizes) {
  return Succeeded(::RegQueryInfoKeyW(
      key, nullptr, nullptr, nullptr, nullptr, &sizes->LongestSubkey, nullptr, nullptr,
      &sizes->LongestValueName, &sizes->LargestValue, nullptr, nullptr));
}

RegistryValue ToValue(std::u16string name, DWORD type, const std::vector<BYTE>& data, DWORD size) {
  if (size > data.size()) size = static_cast<DWORD>(data.size());
  RegistryValue value;
  value.Name = std::move(name);
  if (type == REG_DWORD && size == sizeof(DWORD)) {
    value.ValueType = RegistryValue::Type::kDword;
    DWORD number;
    std::memcpy(&number, data.data(), sizeof number);
    value.Number = number;
    return value;
  }
  value.ValueType = RegistryValue::Type::kString;
  if (type == REG_SZ || type == REG_EXPAND_SZ) {
    // The stored text need not end with a NUL, nor stop at its first one.
    std::u16string text(size / sizeof(char16_t), u'\0');
    std::memcpy(text.data(), data.data(), text.size() * sizeof(char16_t));
    text.resize(text.find(u'\0') == std::u16string::npos ? text.size() : text.find(u'\0'));
    value.Text = std::move(text);
  }
  return value;
}

}  // namespace

bool SystemClassesRoot::CreateKey(std::u16string_view path) {
  if (path.empty()) return true;  // The root is always there.
  HKEY key = nullptr;
  if (!Succeeded(::RegCreateKeyExW(HKEY_CLASSES_ROOT, WideCopy(path).c_str(), 0, nullptr,
                                   REG_OPTION_NON_VOLATILE, KEY_QUERY_VALUE, nullptr, &key,
                                   nullptr))) {
    return false;
  }
  ::RegCloseKey(key);
  return true;
}

bool SystemClassesRoot::SetString(std::u16string_view path, std::u16string_view name,
                                  std::u16string_view text) {
  const std::wstring data = WideCopy(text);
  return SetValue(path, name, REG_SZ, data.c_str(), (data.size() + 1) * sizeof(wchar_t));
}

bool SystemClassesRoot::SetDword(std::u16string_view path, std::u16string_view name,
                                 uint32_t number) {
  const DWORD data = number;
  return SetValue(path, name, REG_DWORD, &data, sizeof data);
}

bool SystemClassesRoot::DeleteTree(std::u16string_view path) {
  if (path.empty()) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  // Given a subkey, RegDeleteTreeW deletes that key as well as its contents.
  return Succeeded(::RegDeleteTreeW(HKEY_CLASSES_ROOT, WideCopy(path).c_str()));
}

namespace {

// One pass over the key's subkeys; kGrew when one was renamed or added
// with a longer name meanwhile.
enum class Pass { kDone, kGrew, kFailed };

Pass ListSubkeys(HKEY key, std::vector<std::u16string>* names) {
  KeySizes sizes;
  if (!QuerySizes(key, &sizes)) return Pass::kFailed;
  names->clear();
  std::wstring name(sizes.LongestSubkey + 1, L'\0');
  for (DWORD index = 0;; ++index) {
    DWORD length = static_cast<DWORD>(name.size());
    const LSTATUS status =
        ::RegEnumKeyExW(key, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) return Pass::kDone;
    if (status == ERROR_MORE_DATA) return Pass::kGrew;
    if (!Succeeded(status)) return Pass::kFailed;
    names->push_back(std::u16string(AsUtf16(name.c_str(), length)));
  }
}

Pass ListValues(HKEY key, std::vector<RegistryValue>* values) {
  KeySizes sizes;
  if (!QuerySizes(key, &sizes)) return Pass::kFailed;
  values->clear();
  std::wstring name(sizes.LongestValueName + 1, L'\0');
  // Never empty: with no buffer the system would report a value that grew
  // meanwhile as read, instead of ERROR_MORE_DATA.
  std::vector<BYTE> data(sizes.LargestValue + sizeof(wchar_t));
  for (DWORD index = 0;; ++index) {
    DWORD length = static_cast<DWORD>(name.size());
    DWORD type = REG_NONE;
    DWORD size = static_cast<DWORD>(data.size());
    const LSTATUS status =
        ::RegEnumValueW(key, index, name.data(), &length, nullptr, &type, data.data(), &size);
    if (status == ERROR_NO_MORE_ITEMS) return Pass::kDone;
    if (status == ERROR_MORE_DATA) return Pass::kGrew;
    if (!Succeeded(status)) return Pass::kFailed;
    RegistryValue value = ToValue(std::u16string(AsUtf16(name.c_str(), length)), type, data, size);
    // The system lists values in an order of its own; the default value
    // comes first here, as it does in the file's tree.
    if (value.Name.empty()) {
      values->insert(values->begin(), std::move(value));
    } else {
      values->push_back(std::move(value));
    }
  }
}

}  // namespace

bool SystemClassesRoot::EnumSubkeys(std::u16string_view path,
                                    std::vector<std::u16string>* names) const {
  OpenKey key;
  if (!key.Open(path, KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE)) return false;
  Pass pass;
  while ((pass = ListSubkeys(key.Get(), names)) == Pass::kGrew) {
  }
  return pass == Pass::kDone;
}

bool SystemClassesRoot::EnumValues(std::u16string_view path,
                                   std::vector<RegistryValue>* values) const {
  OpenKey key;
  if (!key.Open(path, KEY_QUERY_VALUE)) return false;
  Pass pass;
  while ((pass = ListValues(key.Get(), values)) == Pass::kGrew) {
  }
  return pass == Pass::kDone;
}

struct ClassesRootChange::State {
  SystemClassesRoot Keys;
};

ClassesRootChange::ClassesRootChange() = default;
ClassesRootChange::~ClassesRootChange() = default;

bool ClassesRootChange::Begin() {
  return state_ || NoThrow(
                       [&] {
                         state_ = std::make_unique<State>();
                         return true;
                       },
                       &OutOfMemoryError);
}

RegistryKeys& ClassesRootChange::Keys() {
  return state_->Keys;
}

bool ClassesRootChange::Commit() {
  return true;
}

bool ClassesRootChange::ChangesOutliveFailure() {
  return true;
}

}  // namespace plat
