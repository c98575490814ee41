#include "platform/posix/direct_output.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/heap.h"
#include "platform/posix/write_all.h"

namespace plat {
namespace {

// Large enough that the disk streams; a multiple of every logical block size.
constexpr size_t kChunkBytes = size_t{4} << 20;

}  // namespace

DirectOutput::~DirectOutput() {
  if (buffer_) PageFree(buffer_, kChunkBytes);
}

bool DirectOutput::Start(int fd) {
  buffer_ = static_cast<uint8_t*>(PageAlloc(kChunkBytes));
  if (!buffer_) {
    errno = ENOMEM;
    return false;
  }
  const int flags = fcntl(fd, F_GETFL);
  direct_ = flags >= 0 && fcntl(fd, F_SETFL, flags | O_DIRECT) == 0;
  fd_ = fd;
  return true;
}

bool DirectOutput::Write(const void* data, size_t bytes, int* error) {
  const auto* from = static_cast<const uint8_t*>(data);
  while (bytes > 0) {
    const size_t part = std::min(bytes, kChunkBytes - held_);
    std::memcpy(buffer_ + held_, from, part);
    held_ += part;
    from += part;
    bytes -= part;
    if (held_ == kChunkBytes && !WriteChunk(error)) return false;
  }
  return true;
}

// Writes the buffer's bytes at the file's position and empties it. A refused
// or short direct write is taken up again through the cache.
bool DirectOutput::WriteChunk(int* error) {
  if (direct_) {
    ssize_t written;
    do {
      written = write(fd_, buffer_, held_);
    } while (written < 0 && errno == EINTR);
    if (written == static_cast<ssize_t>(held_)) {
      held_ = 0;
      return true;
    }
    if (!Buffered(error)) return false;
    if (written > 0) {
      held_ -= static_cast<size_t>(written);
      std::memmove(buffer_, buffer_ + written, held_);
    }
  }
  if (!WriteAll(fd_, buffer_, held_, error)) return false;
  held_ = 0;
  return true;
}

bool DirectOutput::Buffered(int* error) {
  direct_ = false;
  const int flags = fcntl(fd_, F_GETFL);
  if (flags < 0 || fcntl(fd_, F_SETFL, flags & ~O_DIRECT) != 0) {
    *error = errno;
    return false;
  }
  return true;
}

// The tail is rarely a whole number of blocks, which O_DIRECT refuses.
bool DirectOutput::Finish(int* error) {
  if (fd_ < 0) return true;
  const bool done = (!direct_ || Buffered(error)) && WriteChunk(error);
  fd_ = -1;
  return done;
}

}  // namespace plat
