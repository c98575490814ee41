// Libraries through the Windows loader. A LibraryHandle is the HMODULE.
#include "platform/library.h"

#include <string>

#include "platform/string_resource.h"
#include "platform/win32/wide_text.h"

namespace plat {

namespace {

HMODULE Module(LibraryHandle library) {
  return reinterpret_cast<HMODULE>(library);
}

// A full path in the form LOAD_WITH_ALTERED_SEARCH_PATH is defined for: a
// drive or UNC path with backslashes.
bool IsFullBackslashPath(const std::u16string& path) {
  if (path.find(u'/') != std::u16string::npos) return false;
  const bool drive = path.size() >= 3 && path[1] == u':' && path[2] == u'\\';
  const bool unc = path.size() >= 2 && path[0] == u'\\' && path[1] == u'\\';
  return drive || unc;
}

// Windows' loader keeps a module's name as it was loaded, so one loaded
// through a \\?\ path (as some installers and regsvr32 pass it) reports it
// with that prefix; Wine's loader reports the ordinary form already. A
// path written into the registry or shown to a user must be the ordinary
// form, which every API accepts: \\?\C:\x is C:\x, and
// \\?\UNC\server\share\x is \\server\share\x.
std::u16string WithoutVerbatimPrefix(std::u16string path) {
  constexpr std::u16string_view kVerbatim = u"\\\\?\\";
  constexpr std::u16string_view kVerbatimUnc = u"\\\\?\\UNC\\";
  std::u16string_view view = path;
  if (view.substr(0, kVerbatimUnc.size()) == kVerbatimUnc) {
    return u"\\\\" + path.substr(kVerbatimUnc.size());
  }
  if (view.substr(0, kVerbatim.size()) == kVerbatim && view.size() >= kVerbatim.size() + 3 &&
      view[kVerbatim.size() + 1] == u':') {
    return path.substr(kVerbatim.size());
  }
  return path;
}

// The module whose code or data holds `address`, without a reference.
bool ModuleHolding(const void* address, HMODULE* module) {
  return ::GetModuleHandleExW(
             GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
             static_cast<const wchar_t*>(address), module) != FALSE;
}

}  // namespace

LibraryHandle LoadLibrary(const std::u16string& path) {
  // For a full path the library's own directory comes first in the search
  // for the libraries it depends on, as when COM loads an in-process server.
  const DWORD flags = IsFullBackslashPath(path) ? LOAD_WITH_ALTERED_SEARCH_PATH : 0;
  HMODULE module = ::LoadLibraryExW(AsWide(path), nullptr, flags);
  if (!module) {
    // The loader's own reason (ERROR_MOD_NOT_FOUND, ERROR_BAD_EXE_FORMAT,
    // ERROR_DLL_INIT_FAILED ...) is already the last error.
    if (::GetLastError() == ERROR_SUCCESS) ::SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<LibraryHandle>(module);
}

void* GetProcAddress(LibraryHandle library, const char* name) {
  if (!library || !name) {
    ::SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  FARPROC symbol = ::GetProcAddress(Module(library), name);
  if (!symbol) {
    ::SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<void*>(symbol);
}

bool FreeLibrary(LibraryHandle library) {
  if (!library) return true;
  return ::FreeLibrary(Module(library)) != FALSE;
}

bool IsLibraryLoaded(const std::u16string& path) {
  HMODULE module = nullptr;
  return ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT, AsWide(path),
                              &module) != FALSE;
}

bool GetModuleFileName(const void* address, std::u16string* path) {
  HMODULE module = nullptr;
  if (!path) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  if (!ModuleHolding(address, &module)) return false;
  // A name that fills the buffer may have been cut short (Windows XP does
  // not even say so): grow until it fits, up to the longest path there is.
  constexpr DWORD kLongestPath = 32768;
  std::u16string name(MAX_PATH, u'\0');
  while (true) {
    const DWORD size = static_cast<DWORD>(name.size());
    const DWORD length =
        ::GetModuleFileNameW(module, reinterpret_cast<wchar_t*>(name.data()), size);
    if (length == 0) return false;
    if (length < size) {
      name.resize(length);
      break;
    }
    if (size >= kLongestPath) {
      ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return false;
    }
    name.resize(size * 2 > kLongestPath ? kLongestPath : size * 2);
  }
  *path = WithoutVerbatimPrefix(std::move(name));
  return true;
}

namespace {

// The data of the resource of numeric type `type` and numeric name `id` in
// the module whose code or data holds `address`, in the language the
// system's resource loader chooses; valid while the module is loaded.
bool FindModuleResource(const void* address, uint16_t type, uint16_t id, const void** data,
                        size_t* size) {
  HMODULE module = nullptr;
  if (!ModuleHolding(address, &module)) return false;
  HRSRC resource = ::FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(type));
  if (!resource) return false;
  // A module's resources are mapped with it: "loading" one only finds it.
  HGLOBAL loaded = ::LoadResource(module, resource);
  const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
  if (!bytes) return false;
  *data = bytes;
  *size = ::SizeofResource(module, resource);
  return true;
}

}  // namespace

bool LoadModuleString(const void* address, const StringResourceBlock*, size_t, uint32_t id,
                      std::u16string_view* text) {
  const void* data = nullptr;
  size_t size = 0;
  const uint32_t number = StringResourceBlockOf(id);
  if (number > 0xFFFF || !FindModuleResource(address, 6 /* RT_STRING */, number, &data, &size)) {
    return false;
  }
  const StringResourceBlock block = {number, static_cast<const char16_t*>(data),
                                     size / sizeof(char16_t)};
  return FindStringResource(&block, 1, id, text);
}

}  // namespace plat
