#include "platform/posix/write_all.h"

#include <unistd.h>

#include <cerrno>

namespace plat {

bool WriteAll(int fd, const void* data, size_t bytes, int* error) {
  const auto* from = static_cast<const char*>(data);
  while (bytes > 0) {
    const ssize_t written = write(fd, from, bytes);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      if (written == 0) errno = ENOSPC;
      *error = errno;
      return false;
    }
    from += written;
    bytes -= static_cast<size_t>(written);
  }
  return true;
}

}  // namespace plat
