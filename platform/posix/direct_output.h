// Writes a new file through O_DIRECT: whole aligned chunks go from a buffer
// of the writer's own to the disk without passing through the page cache.
//
// Written through the cache, every byte of a large output costs the kernel a
// copy into a freshly allocated cache page, which on a virtual machine costs
// about as much as a page fault: for a gigabyte, a second or more of system
// time on the thread that also formats the rows. Direct writes leave the
// kernel only the transfer. Once a chunk is refused (a file system without
// O_DIRECT, a short write near a full disk), the file is written through the
// cache from there on, so every failure is the one a plain write reports.
#pragma once

#include <cstddef>
#include <cstdint>

namespace plat {

class DirectOutput {
 public:
  DirectOutput() = default;
  ~DirectOutput();
  DirectOutput(const DirectOutput&) = delete;
  DirectOutput& operator=(const DirectOutput&) = delete;

  // Takes over the writing of `fd`, a new, empty regular file open for
  // writing. False (errno set) when no buffer could be had; the caller then
  // writes `fd` as it would have.
  bool Start(int fd);
  bool Started() const { return fd_ >= 0; }
  // Appends every byte; false with *error (an errno value).
  bool Write(const void* data, size_t bytes, int* error);
  // Writes what is held and leaves `fd` without O_DIRECT, at the end of what
  // was written. False with *error.
  bool Finish(int* error);

 private:
  bool WriteChunk(int* error);
  bool Buffered(int* error);

  int fd_ = -1;
  bool direct_ = false;
  uint8_t* buffer_ = nullptr;
  size_t held_ = 0;
};

}  // namespace plat
