// Files for tests: private directories, memory file systems of a known kind
// (a small tmpfs that fills up, or a ramfs, which refuses direct I/O), and
// patterned contents written and read back whole.
#pragma once

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/bstr.h"

namespace testsupport {

namespace fs = std::filesystem;

// A fresh directory under the temporary directory, removed with its content.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "tolvarine-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed";
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  const fs::path& path() const { return path_; }
  std::u16string u16() const { return plat::Utf8ToUtf16(path_.string()); }
  size_t Count() const {
    return std::distance(fs::directory_iterator(path_), fs::directory_iterator());
  }

 private:
  fs::path path_;
};

// A memory file system mounted on a fresh directory: a tmpfs of `megabytes`,
// or (with 0) a ramfs, which refuses direct I/O. mounted() is false when the
// process may not mount.
class MemoryMount {
 public:
  explicit MemoryMount(int megabytes) {
    mountPoint_ = dir_.path() / "mnt";
    fs::create_directory(mountPoint_);
    const char* type = megabytes > 0 ? "tmpfs" : "ramfs";
    const std::string options = megabytes > 0 ? "size=" + std::to_string(megabytes) + "m" : "";
    if (geteuid() != 0) return;
    mounted_ = mount(type, mountPoint_.c_str(), type, 0, options.c_str()) == 0;
    if (!mounted_) error_ = std::strerror(errno);
  }
  ~MemoryMount() {
    if (mounted_) umount2(mountPoint_.c_str(), MNT_DETACH);
  }
  bool mounted() const { return mounted_; }
  // Why a mount as root failed; empty when it did not.
  const std::string& error() const { return error_; }
  std::u16string u16() const { return plat::Utf8ToUtf16(mountPoint_.string()); }
  bool Empty() const { return fs::is_empty(mountPoint_); }

 private:
  TempDir dir_;
  fs::path mountPoint_;
  bool mounted_ = false;
  std::string error_;
};

// Ends a test that needs its memory mount: skipped when not root, which
// mounting needs; failed when root cannot mount, so that CI, which runs as
// root, never skips it unnoticed.
#define REQUIRE_MOUNTED(mount)                                                           \
  do {                                                                                   \
    if ((mount).mounted()) break;                                                        \
    if (geteuid() != 0) GTEST_SKIP() << "needs root to mount a tmpfs (CI runs as root)"; \
    FAIL() << "cannot mount a tmpfs as root: " << (mount).error();                       \
  } while (false)

// Bytes that differ from their neighbours and from those a power of two away,
// so that a byte written to the wrong place shows.
inline std::vector<uint8_t> PatternBytes(size_t bytes) {
  std::vector<uint8_t> data(bytes);
  for (size_t i = 0; i < bytes; ++i) data[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);
  return data;
}

inline void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& data) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

inline std::vector<uint8_t> FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace testsupport
