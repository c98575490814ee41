// A program's input file, read front to back. On POSIX a large regular file
// is read around the page cache, 4 MiB at a time, by a thread of its own that
// keeps the next piece coming while the caller works on the last one.
// Anything else (a pipe, a device, a small file, a file system that refuses
// direct I/O) is read with plain reads. On Windows every file is read with
// plain reads, the system told that they go front to back so that it reads
// ahead itself.
//
// Read through the cache, each byte costs the kernel a copy out of a freshly
// filled cache page: for a gigabyte, a good part of a second on the thread
// that also parses the rows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace plat {

class InputFile {
 public:
  InputFile();
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // Opens `path` (UTF-8) for reading. False with *error, a phrase that
  // follows the path ("is a directory").
  bool Open(const std::string& path, std::string* error);
  // Reads up to `bytes` bytes: fewer only at the end of the file, 0 there.
  // -1 on failure, with *error (strerror text).
  ptrdiff_t Read(void* data, size_t bytes, std::string* error);

 private:
  struct Impl;  // The system's handle and how it is read.
  std::unique_ptr<Impl> impl_;
};

}  // namespace plat
