// The in-memory registry tree and its export-format text.
#include <cstdio>
#include <string>
#include <utility>

#include "platform/bstr.h"
#include "platform/registry.h"

namespace plat {

namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr std::u16string_view kRootName = u"HKEY_CLASSES_ROOT";

char16_t FoldCase(char16_t c) {
  return (c >= u'a' && c <= u'z') ? c - (u'a' - u'A') : c;
}

bool NamesEqual(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
  }
  return true;
}

bool HasLineBreak(std::u16string_view text) {
  return text.find_first_of(u"\r\n") != std::u16string_view::npos;
}

bool Fail(DWORD error) {
  SetLastError(error);
  return false;
}

enum class PathCheck { kValid, kMalformed, kBeyondLimits };

// Splits "a\\b\\c" into its components. The empty path has none; an empty
// component, or one holding a line break, makes the path malformed; one
// beyond the limits of RegistryTree is refused as well.
PathCheck SplitPath(std::u16string_view path, std::vector<std::u16string_view>* parts) {
  parts->clear();
  if (path.empty()) return PathCheck::kValid;
  if (path.size() > RegistryTree::kMaxPathLength) return PathCheck::kBeyondLimits;
  size_t start = 0;
  while (true) {
    size_t end = path.find(u'\\', start);
    std::u16string_view part =
        path.substr(start, end == std::u16string_view::npos ? end : end - start);
    if (part.empty() || HasLineBreak(part)) return PathCheck::kMalformed;
    if (part.size() > RegistryTree::kMaxKeyNameLength || parts->size() == RegistryTree::kMaxDepth) {
      return PathCheck::kBeyondLimits;
    }
    parts->push_back(part);
    if (end == std::u16string_view::npos) return PathCheck::kValid;
    start = end + 1;
  }
}

// Writes `text` between quotes, escaping backslash and quote as regedit does.
void AppendQuoted(std::string* out, std::u16string_view text) {
  out->push_back('"');
  for (char c : Utf16ToUtf8(text)) {
    if (c == '\\' || c == '"') out->push_back('\\');
    out->push_back(c);
  }
  out->push_back('"');
}

// Reads a quoted string at `*pos` (which must be at the opening quote),
// undoing the escapes; leaves `*pos` after the closing quote.
bool ReadQuoted(std::string_view line, size_t* pos, std::string* text) {
  if (*pos >= line.size() || line[*pos] != '"') return false;
  text->clear();
  for (size_t i = *pos + 1; i < line.size(); ++i) {
    char c = line[i];
    if (c == '"') {
      *pos = i + 1;
      return true;
    }
    if (c == '\\') {
      if (++i >= line.size()) return false;
      c = line[i];
    }
    text->push_back(c);
  }
  return false;
}

bool ReadDword(std::string_view digits, uint32_t* number) {
  if (digits.empty() || digits.size() > 8) return false;
  uint32_t value = 0;
  for (char c : digits) {
    uint32_t digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return false;
    }
    value = value * 16 + digit;
  }
  *number = value;
  return true;
}

}  // namespace

struct RegistryTree::Key {
  std::u16string Name;
  std::vector<RegistryValue> Values;
  std::vector<std::unique_ptr<Key>> Subkeys;

  Key* FindSubkey(std::u16string_view name) const {
    for (const auto& subkey : Subkeys) {
      if (NamesEqual(subkey->Name, name)) return subkey.get();
    }
    return nullptr;
  }
  RegistryValue* FindValue(std::u16string_view name) {
    for (auto& value : Values) {
      if (NamesEqual(value.Name, name)) return &value;
    }
    return nullptr;
  }
};

namespace {

using Key = RegistryTree::Key;

// The key at `path`, or null with the last error set.
Key* FindKey(Key* root, std::u16string_view path) {
  std::vector<std::u16string_view> parts;
  if (SplitPath(path, &parts) != PathCheck::kValid) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  Key* key = root;
  for (auto part : parts) {
    key = key->FindSubkey(part);
    if (!key) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      return nullptr;
    }
  }
  return key;
}

void AppendKeyText(const Key& key, const std::u16string& path, bool isRoot, std::string* out) {
  if (!isRoot || !key.Values.empty()) {
    out->append("[").append(Utf16ToUtf8(path)).append("]\n");
    // The default value comes first, as regedit writes it.
    for (int pass = 0; pass < 2; ++pass) {
      for (const auto& value : key.Values) {
        if (value.Name.empty() != (pass == 0)) continue;
        if (value.Name.empty()) {
          out->push_back('@');
        } else {
          AppendQuoted(out, value.Name);
        }
        out->push_back('=');
        if (value.ValueType == RegistryValue::Type::kString) {
          AppendQuoted(out, value.Text);
        } else {
          char digits[16];
          std::snprintf(digits, sizeof digits, "dword:%08x", value.Number);
          out->append(digits);
        }
        out->push_back('\n');
      }
    }
    out->push_back('\n');
  }
  for (const auto& subkey : key.Subkeys) {
    AppendKeyText(*subkey, path + u"\\" + subkey->Name, false, out);
  }
}

// Parses one value line ("name"=... or @=...) into `value`.
bool ParseValueLine(std::string_view line, RegistryValue* value) {
  size_t pos = 0;
  std::string text;
  if (line[0] == '@') {
    value->Name.clear();
    pos = 1;
  } else {
    if (!ReadQuoted(line, &pos, &text)) return false;
    value->Name = Utf8ToUtf16(text);
    if (value->Name.empty()) return false;
  }
  if (pos >= line.size() || line[pos] != '=') return false;
  ++pos;
  if (pos < line.size() && line[pos] == '"') {
    if (!ReadQuoted(line, &pos, &text) || pos != line.size()) return false;
    value->ValueType = RegistryValue::Type::kString;
    value->Text = Utf8ToUtf16(text);
    return true;
  }
  constexpr std::string_view kDword = "dword:";
  if (line.substr(pos, kDword.size()) != kDword) return false;
  value->ValueType = RegistryValue::Type::kDword;
  return ReadDword(line.substr(pos + kDword.size()), &value->Number);
}

}  // namespace

RegistryTree::RegistryTree() : root_(std::make_unique<Key>()) {}
RegistryTree::~RegistryTree() = default;
RegistryTree::RegistryTree(RegistryTree&&) noexcept = default;
RegistryTree& RegistryTree::operator=(RegistryTree&&) noexcept = default;

bool RegistryTree::CreateKey(std::u16string_view path) {
  std::vector<std::u16string_view> parts;
  if (SplitPath(path, &parts) != PathCheck::kValid) return Fail(ERROR_INVALID_PARAMETER);
  Key* key = root_.get();
  for (auto part : parts) {
    Key* subkey = key->FindSubkey(part);
    if (!subkey) {
      key->Subkeys.push_back(std::make_unique<Key>());
      subkey = key->Subkeys.back().get();
      subkey->Name = part;
    }
    key = subkey;
  }
  return true;
}

bool RegistryTree::KeyExists(std::u16string_view path) const {
  return FindKey(root_.get(), path) != nullptr;
}

bool RegistryTree::SetString(std::u16string_view path, std::u16string_view name,
                             std::u16string_view text) {
  if (HasLineBreak(name) || HasLineBreak(text)) return Fail(ERROR_INVALID_PARAMETER);
  Key* key = FindKey(root_.get(), path);
  if (!key) return false;
  RegistryValue* value = key->FindValue(name);
  if (!value) {
    key->Values.emplace_back();
    value = &key->Values.back();
    value->Name = name;
  }
  value->ValueType = RegistryValue::Type::kString;
  value->Text = text;
  value->Number = 0;
  return true;
}

bool RegistryTree::SetDword(std::u16string_view path, std::u16string_view name, uint32_t number) {
  if (HasLineBreak(name)) return Fail(ERROR_INVALID_PARAMETER);
  Key* key = FindKey(root_.get(), path);
  if (!key) return false;
  RegistryValue* value = key->FindValue(name);
  if (!value) {
    key->Values.emplace_back();
    value = &key->Values.back();
    value->Name = name;
  }
  value->ValueType = RegistryValue::Type::kDword;
  value->Text.clear();
  value->Number = number;
  return true;
}

bool RegistryTree::DeleteValue(std::u16string_view path, std::u16string_view name) {
  Key* key = FindKey(root_.get(), path);
  if (!key) return false;
  for (auto it = key->Values.begin(); it != key->Values.end(); ++it) {
    if (NamesEqual(it->Name, name)) {
      key->Values.erase(it);
      return true;
    }
  }
  return Fail(ERROR_FILE_NOT_FOUND);
}

bool RegistryTree::DeleteTree(std::u16string_view path) {
  size_t split = path.rfind(u'\\');
  std::u16string_view parentPath =
      split == std::u16string_view::npos ? std::u16string_view() : path.substr(0, split);
  std::u16string_view name = split == std::u16string_view::npos ? path : path.substr(split + 1);
  if (name.empty()) return Fail(ERROR_INVALID_PARAMETER);
  Key* parent = FindKey(root_.get(), parentPath);
  if (!parent) return false;
  for (auto it = parent->Subkeys.begin(); it != parent->Subkeys.end(); ++it) {
    if (NamesEqual((*it)->Name, name)) {
      parent->Subkeys.erase(it);
      return true;
    }
  }
  return Fail(ERROR_FILE_NOT_FOUND);
}

bool RegistryTree::EnumSubkeys(std::u16string_view path, std::vector<std::u16string>* names) const {
  const Key* key = FindKey(root_.get(), path);
  if (!key) return false;
  names->clear();
  for (const auto& subkey : key->Subkeys) names->push_back(subkey->Name);
  return true;
}

bool RegistryTree::QueryValue(std::u16string_view path, std::u16string_view name,
                              RegistryValue* value) const {
  Key* key = FindKey(root_.get(), path);
  if (!key) return false;
  const RegistryValue* found = key->FindValue(name);
  if (!found) return Fail(ERROR_FILE_NOT_FOUND);
  *value = *found;
  return true;
}

bool RegistryTree::EnumValues(std::u16string_view path, std::vector<RegistryValue>* values) const {
  const Key* key = FindKey(root_.get(), path);
  if (!key) return false;
  values->clear();
  for (const auto& value : key->Values) {
    if (value.Name.empty()) values->insert(values->begin(), value);
  }
  for (const auto& value : key->Values) {
    if (!value.Name.empty()) values->push_back(value);
  }
  return true;
}

std::string RegistryTree::ToText() const {
  std::string out(kHeader);
  out.append("\n\n");
  AppendKeyText(*root_, std::u16string(kRootName), true, &out);
  return out;
}

bool RegistryTree::Parse(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  RegistryTree parsed;
  bool headerSeen = false;
  std::u16string currentPath;
  bool inSection = false;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line[0] == ';') continue;
    if (!headerSeen) {
      if (line != kHeader) return Fail(ERROR_BADDB);
      headerSeen = true;
      continue;
    }
    if (line[0] == '[') {
      if (line.back() != ']') return Fail(ERROR_BADDB);
      std::u16string path = Utf8ToUtf16(line.substr(1, line.size() - 2));
      if (path.compare(0, kRootName.size(), kRootName) != 0) return Fail(ERROR_BADDB);
      path.erase(0, kRootName.size());
      if (!path.empty()) {
        if (path[0] != u'\\') return Fail(ERROR_BADDB);
        path.erase(0, 1);
      }
      std::vector<std::u16string_view> parts;
      if (SplitPath(path, &parts) == PathCheck::kBeyondLimits) return Fail(ERROR_BADKEY);
      if (!parsed.CreateKey(path)) return Fail(ERROR_BADDB);
      currentPath = std::move(path);
      inSection = true;
      continue;
    }
    RegistryValue value;
    if (!inSection || !ParseValueLine(line, &value)) return Fail(ERROR_BADDB);
    bool stored = value.ValueType == RegistryValue::Type::kString
                      ? parsed.SetString(currentPath, value.Name, value.Text)
                      : parsed.SetDword(currentPath, value.Name, value.Number);
    if (!stored) return Fail(ERROR_BADDB);
  }
  if (!headerSeen && !text.empty()) return Fail(ERROR_BADDB);
  *this = std::move(parsed);
  return true;
}

}  // namespace plat
