// Memory file systems of a known kind for POSIX tests: a small tmpfs that
// fills up, or a ramfs, which refuses direct I/O.
#pragma once

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "tests/support/test_files.h"

namespace testsupport {

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

}  // namespace testsupport
