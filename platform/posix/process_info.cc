// Process facts from /proc/self and the terminal driver.
#include "platform/process_info.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace plat {
namespace {

// The number after `key` on its line of a /proc file, times `scale`.
bool ReadProcNumber(const char* path, const char* key, uint64_t scale, uint64_t* value) {
  FILE* file = std::fopen(path, "r");
  if (!file) return false;
  char line[256];
  bool found = false;
  const size_t keyLength = std::strlen(key);
  while (std::fgets(line, sizeof(line), file)) {
    if (std::strncmp(line, key, keyLength) == 0) {
      unsigned long long number = 0;
      if (std::sscanf(line + keyLength, " %llu", &number) == 1) {
        *value = number * scale;
        found = true;
      }
      break;
    }
  }
  std::fclose(file);
  return found;
}

}  // namespace

bool StandardErrorIsTerminal() {
  return isatty(STDERR_FILENO) == 1;
}

bool GetProcessWriteBytes(uint64_t* bytes) {
  return ReadProcNumber("/proc/self/io", "write_bytes:", 1, bytes);
}

bool GetPeakMemoryBytes(uint64_t* bytes) {
  return ReadProcNumber("/proc/self/status", "VmHWM:", 1024, bytes);
}

size_t CountOpenFilesNamed(std::string_view prefix) {
  DIR* directory = opendir("/proc/self/fd");
  if (!directory) return 0;
  size_t count = 0;
  while (dirent* entry = readdir(directory)) {
    if (entry->d_name[0] == '.') continue;
    std::string link = std::string("/proc/self/fd/") + entry->d_name;
    char target[4096];
    ssize_t length = readlink(link.c_str(), target, sizeof(target) - 1);
    if (length <= 0) continue;
    std::string_view path(target, static_cast<size_t>(length));
    constexpr std::string_view kDeleted = " (deleted)";
    if (path.ends_with(kDeleted)) path.remove_suffix(kDeleted.size());
    std::string_view name = path.substr(path.rfind('/') + 1);
    if (!name.starts_with(prefix) || name.size() == prefix.size()) continue;
    if (name.substr(prefix.size()).find_first_not_of("0123456789") == std::string_view::npos) {
      ++count;
    }
  }
  closedir(directory);
  return count;
}

}  // namespace plat
