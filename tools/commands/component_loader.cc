#include "tools/commands/component_loader.h"

#include <cstdio>
#include <filesystem>

#include "host/component_factory.h"
#include "interfaces/component_interfaces.h"
#include "platform/bstr.h"
#include "platform/com_activation.h"
#include "platform/library.h"
#include "platform/module_path.h"

namespace tolvarine {
namespace {

struct KnownResult {
  HRESULT hr;
  const char* meaning;
};

constexpr KnownResult kKnownResults[] = {
    {E_OUTOFMEMORY, "out of memory"},
    {E_INVALIDARG, "an invalid argument"},
    {E_NOTIMPL, "not supported (a column type the component cannot sort?)"},
    {E_UNEXPECTED, "an unexpected condition"},
    {HRESULT_FROM_WIN32(ERROR_DISK_FULL), "the disk is full"},
    {HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), "access denied"},
    {HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), "path not found"},
    {HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), "file not found"},
    {HRESULT_FROM_WIN32(ERROR_WRITE_PROTECT), "the medium is write-protected"},
    {HRESULT_FROM_WIN32(ERROR_IO_DEVICE), "an I/O error"},
    {HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND), "the library could not be loaded"},
    {HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND), "the library lacks an entry point"},
    {HRESULT_FROM_WIN32(ERROR_BADDB), "the registry file is damaged or truncated"},
    {HRESULT_FROM_WIN32(ERROR_BADKEY),
     "the registry file holds a key nested deeper than 512 levels, or a key name or path too long"},
    {REGDB_E_CLASSNOTREG, "the class is not registered"},
    {CO_E_CLASSSTRING, "the ProgID is not registered"},
};

}  // namespace

std::string ComponentFileName() {
  return TOLVARINE_COMPONENT_FILE;
}

std::u16string LibraryBesideProgram() {
  const std::u16string name = plat::Utf8ToUtf16(TOLVARINE_COMPONENT_FILE);
  std::u16string directory;
  if (!plat::ModuleDirectory(reinterpret_cast<const void*>(&LibraryBesideProgram), &directory)) {
    return name;
  }
  const std::u16string beside = directory + name;
#ifdef TOLVARINE_INSTALLED_COMPONENT
  // Set by the install rules: where the package puts the component, relative
  // to the program's directory. In a build tree the two lie side by side,
  // which wins.
  const std::string installed = plat::Utf16ToUtf8(directory) + TOLVARINE_INSTALLED_COMPONENT;
  std::error_code ignored;
  if (!std::filesystem::exists(plat::Utf16ToUtf8(beside), ignored) &&
      std::filesystem::exists(installed, ignored)) {
    return plat::Utf8ToUtf16(std::filesystem::path(installed).lexically_normal().string());
  }
#endif
  return beside;
}

HRESULT CreateSortComponent(IUnknown** component, std::string* source, std::string* warning) {
  *component = nullptr;
  warning->clear();
  CLSID clsid;
  const HRESULT registered = host::CLSIDFromProgID(kTolvarineProgID, &clsid);
  if (SUCCEEDED(registered)) {
    *source = "the registered class " + plat::Utf16ToUtf8(kTolvarineProgID);
    return host::CreateInstanceByProgID(kTolvarineProgID, IID_IUnknown,
                                        reinterpret_cast<void**>(component));
  }
  const std::u16string library = LibraryBesideProgram();
  // A class that was never registered is the ordinary case; a registry that
  // cannot be read may hide a registration the user relies on.
  if (registered != CO_E_CLASSSTRING) {
    std::string registry;
    if (!plat::RegistryLocation(&registry)) registry = "(no location: set TOLVARINE_REGISTRY)";
    *warning = "ignoring the registry " + registry + ": " + DescribeResult(registered) +
               "; using " + plat::Utf16ToUtf8(library);
  }
  *source = plat::Utf16ToUtf8(library);
  return host::CreateInstanceFromLibrary(library, CLSID_Tolvarine, IID_IUnknown,
                                         reinterpret_cast<void**>(component));
}

std::string DescribeResult(HRESULT hr) {
  char code[16];
  std::snprintf(code, sizeof(code), "0x%08X", static_cast<unsigned>(hr));
  for (const KnownResult& known : kKnownResults) {
    if (known.hr == hr) return std::string(known.meaning) + " (" + code + ")";
  }
  return std::string("error ") + code;
}

}  // namespace tolvarine
