// Activation through the registry file: the lookups COM makes in
// HKEY_CLASSES_ROOT, made in a snapshot of the file, and the registered
// library loaded into the table of server libraries.
#include "platform/com_activation.h"

#include <string>
#include <vector>

#include "platform/library.h"
#include "platform/registry.h"

namespace plat {

namespace {

// CurVer chains are followed this far at most.
constexpr int kMaxCurVerHops = 8;

// Registry names compare without regard to ASCII case.
bool SameRegistryName(std::u16string_view a, std::u16string_view b) {
  auto fold = [](char16_t c) -> char16_t { return c >= u'a' && c <= u'z' ? c - 32 : c; };
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

bool ReadDefaultString(const RegistryTree& tree, const std::u16string& key, std::u16string* text) {
  RegistryValue value;
  if (!tree.QueryValue(key, u"", &value) || value.ValueType != RegistryValue::Type::kString) {
    return false;
  }
  *text = value.Text;
  return true;
}

}  // namespace

HRESULT InitializeCom() {
  return S_OK;
}

void UninitializeCom() {}

HRESULT ClassFromProgID(std::u16string_view progID, CLSID* clsid) {
  if (!clsid) return E_POINTER;
  RegistryTree tree;
  if (!LoadRegistry(&tree)) return HResultFromLastError();
  std::u16string current(progID);
  if (current.empty() || !tree.KeyExists(current)) return CO_E_CLASSSTRING;
  // CurVer names the ProgID of the current version. The chain stops at a
  // key that does not exist or at one already visited (a loop).
  std::vector<std::u16string> visited{current};
  for (int hop = 0; hop < kMaxCurVerHops; ++hop) {
    std::u16string next;
    if (!ReadDefaultString(tree, current + u"\\CurVer", &next) || next.empty() ||
        !tree.KeyExists(next)) {
      break;
    }
    bool seen = false;
    for (const auto& name : visited) seen = seen || SameRegistryName(name, next);
    if (seen) break;
    visited.push_back(next);
    current = next;
  }
  std::u16string text;
  if (!ReadDefaultString(tree, current + u"\\CLSID", &text) &&
      !ReadDefaultString(tree, std::u16string(progID) + u"\\CLSID", &text)) {
    return CO_E_CLASSSTRING;
  }
  return GuidFromString(text.c_str(), clsid) ? S_OK : CO_E_CLASSSTRING;
}

HRESULT InprocServerPath(REFCLSID clsid, std::u16string* path) {
  if (!path) return E_POINTER;
  RegistryTree tree;
  if (!LoadRegistry(&tree)) return HResultFromLastError();
  const std::u16string key = u"CLSID\\" + GuidToString(clsid) + u"\\InprocServer32";
  if (!ReadDefaultString(tree, key, path) || path->empty()) return REGDB_E_CLASSNOTREG;
  return S_OK;
}

HRESULT CreateRegisteredInstance(REFCLSID clsid, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  std::u16string path;
  HRESULT hr = InprocServerPath(clsid, &path);
  if (FAILED(hr)) return hr;
  return CreateInstanceFromServerLibrary(path, clsid, iid, object);
}

size_t FreeUnusedLibraries() {
  return FreeUnusedServerLibraries();
}

bool RegistryLocation(std::string* where) {
  return GetRegistryPath(where);
}

}  // namespace plat
