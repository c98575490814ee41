#include "platform/posix/temporary_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>

#include "platform/termination.h"

namespace plat {
namespace {

constexpr int kNameAttempts = 100;

}  // namespace

std::string TemporaryName(const std::string& directory) {
  thread_local std::mt19937_64 random{(static_cast<uint64_t>(std::random_device()()) << 32) ^
                                      std::random_device()()};
  char name[32];
  // Short, so that a destination whose name is near the longest allowed
  // still has room beside it.
  std::snprintf(name, sizeof(name), "/.tolvarine-%08llx",
                static_cast<unsigned long long>(random() & 0xFFFFFFFFu));
  return directory + name;
}

int CreateTemporaryFile(const std::string& directory, std::string* name) {
  name->clear();
  int fd = open(directory.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  // File systems without unnamed files refuse the flag; old kernels take it
  // for a directory open.
  if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) return fd;
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    std::string candidate = TemporaryName(directory);
    fd = open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
      *name = std::move(candidate);
      if (!RemoveOnTermination(name->c_str())) {
        RemoveTemporaryFile(name);
        close(fd);
        errno = ENAMETOOLONG;
        return -1;
      }
      return fd;
    }
    if (errno != EEXIST) return -1;
  }
  return -1;
}

void RemoveTemporaryFile(std::string* name) {
  if (name->empty()) return;
  unlink(name->c_str());
  RemoveOnTermination(nullptr);
  name->clear();
}

}  // namespace plat
