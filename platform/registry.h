// A registry in place of HKEY_CLASSES_ROOT, kept in one text file in the
// Windows registry export format:
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_CLASSES_ROOT\CLSID\{...}]
//   @="Tolvarine"
//   "AppID"="{...}"
//   "ComponentType"=dword:00000000
//
// File: $TOLVARINE_REGISTRY, else $XDG_DATA_HOME/tolvarine/registry.reg,
// else ~/.local/share/tolvarine/registry.reg. The file is UTF-8. Only
// string and 32-bit number values exist. Key and value names compare
// without regard to ASCII case and keep the case they were created with.
//
// Key paths are relative to HKEY_CLASSES_ROOT, components separated by "\"
// (e.g. u"CLSID\\{...}\\InprocServer32"); the empty path is the root. An
// empty value name is the key's default value.
//
// Changes are made in a RegistryTransaction: the file is locked (flock on
// "<file>.lock"), loaded, changed in memory and committed by writing a
// temporary file that replaces the old one by rename, so concurrent writers
// in any process see one another's changes whole and the file is never half
// written. Readers load a snapshot without taking the lock.
//
// On Windows the component is registered in the system registry itself
// (SystemClassesRoot below); the file and its transactions exist only on
// the other platforms.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com_types.h"

namespace plat {

struct RegistryValue {
  enum class Type { kString, kDword };
  std::u16string Name;  // Empty: the default value.
  Type ValueType = Type::kString;
  std::u16string Text;  // kString.
  uint32_t Number = 0;  // kDword.
};

// The operations that change and list keys under HKEY_CLASSES_ROOT, on
// whichever registry a caller is given: the file's tree (RegistryTree) or,
// on Windows, the system registry itself (SystemClassesRoot). Paths and
// names are as described above. Each returns false with the last error set:
// ERROR_FILE_NOT_FOUND for a key that does not exist, another Win32 error
// for anything else.
class RegistryKeys {
 public:
  // Creates the key and any missing parents; an existing key is kept as it is.
  virtual bool CreateKey(std::u16string_view path) = 0;
  // The key must exist. Replaces a value of the same name, whatever its type.
  virtual bool SetString(std::u16string_view path, std::u16string_view name,
                         std::u16string_view text) = 0;
  virtual bool SetDword(std::u16string_view path, std::u16string_view name, uint32_t number) = 0;
  // Deletes the key with everything under it. The root cannot be deleted.
  virtual bool DeleteTree(std::u16string_view path) = 0;
  // Names of the direct subkeys.
  virtual bool EnumSubkeys(std::u16string_view path, std::vector<std::u16string>* names) const = 0;
  // Values of the key, default value first when it has one.
  virtual bool EnumValues(std::u16string_view path, std::vector<RegistryValue>* values) const = 0;

 protected:
  ~RegistryKeys() = default;
};

// The keys under HKEY_CLASSES_ROOT, in memory. Operations return false with
// the last error set: ERROR_FILE_NOT_FOUND for a key or value that does not
// exist, ERROR_INVALID_PARAMETER for a name the file cannot hold (a line
// break, or "\" inside a key name, or an empty path component) or a path
// beyond the limits below.
class RegistryTree final : public RegistryKeys {
 public:
  // Windows' limits on a key name and on nesting, and a bound on a whole
  // path: the file repeats every key's full path, so without them a file a
  // few megabytes long could hold a tree whose text runs to gigabytes.
  static constexpr size_t kMaxKeyNameLength = 255;
  static constexpr size_t kMaxDepth = 512;
  static constexpr size_t kMaxPathLength = 16383;

  RegistryTree();
  ~RegistryTree();
  RegistryTree(RegistryTree&&) noexcept;
  RegistryTree& operator=(RegistryTree&&) noexcept;

  bool CreateKey(std::u16string_view path) override;
  bool KeyExists(std::u16string_view path) const;
  bool SetString(std::u16string_view path, std::u16string_view name,
                 std::u16string_view text) override;
  bool SetDword(std::u16string_view path, std::u16string_view name, uint32_t number) override;
  bool DeleteValue(std::u16string_view path, std::u16string_view name);
  bool DeleteTree(std::u16string_view path) override;
  // Subkeys in creation order.
  bool EnumSubkeys(std::u16string_view path, std::vector<std::u16string>* names) const override;
  bool QueryValue(std::u16string_view path, std::u16string_view name, RegistryValue* value) const;
  // After the default value, in creation order.
  bool EnumValues(std::u16string_view path, std::vector<RegistryValue>* values) const override;

  // The export-format text, and its parse. Parse fails, leaving the tree
  // unchanged, with ERROR_BADKEY for a key beyond the limits above and with
  // ERROR_BADDB for any other text it cannot read.
  std::string ToText() const;
  bool Parse(std::string_view text);

  struct Key;

 private:
  std::unique_ptr<Key> root_;
};

#ifndef _WIN32
// The file the registry lives in (see above). False when no location can
// be determined (last error set).
bool GetRegistryPath(std::string* path);

// Loads a snapshot of the registry; a missing file is an empty registry.
bool LoadRegistry(RegistryTree* tree);

// One atomic change of the registry file. Begin locks and loads; Commit
// writes the whole tree and keeps the lock until the transaction ends
// (destruction or Abort). Abort, or ending without Commit, changes nothing.
class RegistryTransaction {
 public:
  RegistryTransaction();
  ~RegistryTransaction();
  RegistryTransaction(const RegistryTransaction&) = delete;
  RegistryTransaction& operator=(const RegistryTransaction&) = delete;

  // Creates the file's directory when needed. False on failure (last error set).
  bool Begin();
  RegistryTree& Tree() { return tree_; }
  bool Commit();
  void Abort();

 private:
  struct FileLock;
  std::unique_ptr<FileLock> lock_;
  std::string path_;
  RegistryTree tree_;
};
#else
// HKEY_CLASSES_ROOT of the system registry, changed key by key through the
// registry API. Each change takes effect at once and on its own: nothing
// groups changes so that they can be committed or abandoned together.
// Names compare as the system compares them, without regard to case.
// EnumValues reports a value whose type is neither REG_SZ, REG_EXPAND_SZ
// nor REG_DWORD as a string with no text.
class SystemClassesRoot final : public RegistryKeys {
 public:
  bool CreateKey(std::u16string_view path) override;
  bool SetString(std::u16string_view path, std::u16string_view name,
                 std::u16string_view text) override;
  bool SetDword(std::u16string_view path, std::u16string_view name, uint32_t number) override;
  bool DeleteTree(std::u16string_view path) override;
  bool EnumSubkeys(std::u16string_view path, std::vector<std::u16string>* names) const override;
  bool EnumValues(std::u16string_view path, std::vector<RegistryValue>* values) const override;
};
#endif  // _WIN32

// One registration's change of HKEY_CLASSES_ROOT, in whichever registry
// holds it on this platform. In the registry file it is one transaction:
// Begin locks and loads, Commit makes every change take effect together,
// and ending without Commit changes nothing. In the Windows registry each
// change takes effect at once, Begin and Commit have nothing to do, and
// what was changed before a failure stays: ChangesOutliveFailure() says so,
// and a caller that must leave nothing half done undoes them itself.
// Begin and Commit return false with the last error set.
class ClassesRootChange {
 public:
  ClassesRootChange();
  ~ClassesRootChange();
  ClassesRootChange(const ClassesRootChange&) = delete;
  ClassesRootChange& operator=(const ClassesRootChange&) = delete;

  bool Begin();
  // REQUIRES: Begin succeeded.
  RegistryKeys& Keys();
  bool Commit();
  static bool ChangesOutliveFailure();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace plat
