// Shared libraries through the dynamic loader.
#include "platform/library.h"

#include <dlfcn.h>
#include <errno.h>
#include <limits.h>
#include <unistd.h>

#include <string>

#include "platform/bstr.h"
#include "platform/string_resource.h"

namespace plat {

namespace {

void* Handle(LibraryHandle library) {
  return reinterpret_cast<void*>(library);
}

}  // namespace

LibraryHandle LoadLibrary(const std::u16string& path) {
  // RTLD_LOCAL keeps the library's symbols out of the global namespace, as a
  // Windows DLL's are; RTLD_NOW reports missing symbols here, not on first call.
  void* handle = dlopen(Utf16ToUtf8(path).c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<LibraryHandle>(handle);
}

void* GetProcAddress(LibraryHandle library, const char* name) {
  if (!library || !name) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  void* symbol = dlsym(Handle(library), name);
  if (!symbol) SetLastError(ERROR_PROC_NOT_FOUND);
  return symbol;
}

bool FreeLibrary(LibraryHandle library) {
  if (!library) return true;
  if (dlclose(Handle(library)) != 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  return true;
}

bool IsLibraryLoaded(const std::u16string& path) {
  void* handle = dlopen(Utf16ToUtf8(path).c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
  if (!handle) return false;
  dlclose(handle);  // Gives back the reference RTLD_NOLOAD added.
  return true;
}

bool GetModuleFileName(const void* address, std::u16string* path) {
  Dl_info info{};
  if (!path || dladdr(address, &info) == 0 || !info.dli_fname || !*info.dli_fname) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return false;
  }
  std::string name = info.dli_fname;
  // The main program is reported under the bare name it was started with.
  if (name.find('/') == std::string::npos) {
    char buffer[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length > 0) name.assign(buffer, static_cast<size_t>(length));
  }
  if (name.front() != '/') {
    // Loaded through a relative path: the loader keeps it as given, relative
    // to the working directory of the time of loading, which is assumed unchanged.
    char cwd[PATH_MAX];
    if (!getcwd(cwd, sizeof cwd)) {
      SetLastErrorFromErrno(errno);
      return false;
    }
    std::string base = cwd;
    if (name.compare(0, 2, "./") == 0) name.erase(0, 2);
    name = base + (base.back() == '/' ? "" : "/") + name;
  }
  *path = Utf8ToUtf16(name);
  return true;
}

// Libraries here carry no resources: the blocks compiled into the module
// are its string table.
bool LoadModuleString(const void*, const StringResourceBlock* builtIn, size_t blockCount,
                      uint32_t id, std::u16string_view* text) {
  return FindStringResource(builtIn, blockCount, id, text);
}

}  // namespace plat
