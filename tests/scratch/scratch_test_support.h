// Shared pieces of the scratch tests: private directories, memory file
// systems, runs of patterned rows, and the transfer engine to use.
#pragma once

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/bstr.h"
#include "platform/fault_injection.h"
#include "scratch/scratch_file.h"
#include "scratch/scratch_run_writer.h"

namespace scratch_test {

namespace fs = std::filesystem;

// A fresh directory under the temporary directory, removed with its content.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "tolvarine-scratch-XXXXXX").string();
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

// Rows whose every byte depends on its row and position, handed over odd rows
// first, so that a writer ignoring the order of the row addresses is caught.
struct PatternRun {
  PatternRun(uint32_t rowCount, uint32_t rowWidth)
      : width(rowWidth), bytes(size_t{rowCount} * rowWidth) {
    for (size_t i = 0; i < bytes.size(); ++i) {
      bytes[i] =
          static_cast<uint8_t>(((i / rowWidth) * 2654435761u + (i % rowWidth) * 40503u) >> 7);
    }
    for (uint32_t k = 0; k < rowCount; ++k) {
      const uint32_t row = k < rowCount / 2 ? 2 * k + 1 : 2 * (k - rowCount / 2);
      pointers.push_back(bytes.data() + size_t{row} * rowWidth);
    }
  }
  uint32_t count() const { return static_cast<uint32_t>(pointers.size()); }

  uint32_t width;
  std::vector<uint8_t> bytes;
  std::vector<uint8_t*> pointers;
};

// Writes the run to a new scratch file, pre-sized for it, as a merge does.
inline HRESULT WriteRun(ScratchAreaList* list, const PatternRun& run, ScratchReader** reader) {
  *reader = nullptr;
  ScratchRunWriter* writer = nullptr;
  HRESULT hr = BeginScratchRun(list, run.width, uint64_t{run.count()} * run.width, &writer);
  for (size_t i = 0; SUCCEEDED(hr) && i < run.pointers.size(); ++i) {
    hr = AppendScratchRow(writer, run.pointers[i]);
  }
  if (FAILED(hr)) {
    AbandonScratchRun(writer);
    return hr;
  }
  uint32_t rows = 0;
  return FinishScratchRun(writer, &rows, reader);
}

// Which transfer engine new files get.
enum class Engine { kUring, kThread };

inline std::string EngineName(const testing::TestParamInfo<Engine>& info) {
  return info.param == Engine::kUring ? "Uring" : "Thread";
}

// A test over one engine, with one scratch area that must be empty at the end.
template <typename Param>
class ScratchTest : public testing::TestWithParam<Param> {
 protected:
  void UseEngine(Engine engine) {
    if (engine == Engine::kThread) {
      setenv("TOLVARINE_NO_URING", "1", 1);
    } else {
      unsetenv("TOLVARINE_NO_URING");
    }
    ASSERT_EQ(ParseScratchAreas(&list_, area_.u16().c_str()), S_OK);
  }
  void TearDown() override {
    plat::ClearFaults();
    unsetenv("TOLVARINE_NO_URING");
    EXPECT_EQ(area_.Count(), 0u);
  }

  TempDir area_;
  ScratchAreaList list_;
};

}  // namespace scratch_test
