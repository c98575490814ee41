#include "platform/module_path.h"

#include "platform/library.h"

namespace plat {

std::u16string DirectoryOf(std::u16string_view path) {
  const size_t separator = path.find_last_of(kPathSeparators);
  if (separator == std::u16string_view::npos) return u".";
  const bool driveRoot = kPathSeparators.size() > 1 && separator == 2 && path[1] == u':';
  if (separator == 0 || driveRoot) return std::u16string(path.substr(0, separator + 1));
  return std::u16string(path.substr(0, separator));
}

bool ModuleDirectory(const void* address, std::u16string* directory) {
  std::u16string path;
  if (!GetModuleFileName(address, &path)) return false;
  const size_t separator = path.find_last_of(kPathSeparators);
  *directory = separator == std::u16string::npos ? std::u16string() : path.substr(0, separator + 1);
  return true;
}

}  // namespace plat
