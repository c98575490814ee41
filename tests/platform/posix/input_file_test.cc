// Reading an input file front to back: every byte in order whatever the
// read sizes, whether the file is read ahead around the cache, through a
// file system that refuses direct I/O, or from a pipe.
#include "platform/input_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "tests/support/posix_test_files.h"

namespace {

using testsupport::MemoryMount;
using testsupport::PatternBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

// Everything `path` gives, read in pieces of the given sizes (cycled).
std::vector<uint8_t> ReadAll(const std::string& path, const std::vector<size_t>& pieces) {
  plat::InputFile file;
  std::string error;
  EXPECT_TRUE(file.Open(path, &error)) << error;
  std::vector<uint8_t> got;
  for (size_t i = 0;; ++i) {
    const size_t size = pieces[i % pieces.size()];
    const size_t at = got.size();
    got.resize(at + size);
    const ptrdiff_t n = file.Read(got.data() + at, size, &error);
    EXPECT_GE(n, 0) << error;
    got.resize(at + static_cast<size_t>(std::max<ptrdiff_t>(n, 0)));
    if (n <= 0) break;
  }
  return got;
}

// Large enough to be read ahead around the cache, and not a whole number of
// 4 MiB pieces nor of disk blocks.
const std::vector<uint8_t>& LargeFile() {
  static const std::vector<uint8_t> data = PatternBytes((size_t{66} << 20) + 4097);
  return data;
}

TEST(InputFileTest, EveryByteInOrderWhateverTheReadSizes) {
  TempDir dir;
  const std::string large = (dir.path() / "large").string();
  WriteFileBytes(large, LargeFile());
  EXPECT_EQ(LargeFile(), ReadAll(large, {1, 4095, (size_t{4} << 20) + 1, 3 << 20}));
  EXPECT_EQ(LargeFile(), ReadAll(large, {size_t{80} << 20}));

  const std::string small = (dir.path() / "small").string();
  const std::vector<uint8_t> few = PatternBytes(10000);
  WriteFileBytes(small, few);
  EXPECT_EQ(few, ReadAll(small, {999}));

  const std::string empty = (dir.path() / "empty").string();
  WriteFileBytes(empty, {});
  EXPECT_TRUE(ReadAll(empty, {4096}).empty());

  plat::InputFile directory;
  std::string error;
  EXPECT_FALSE(directory.Open(dir.path().string(), &error));
  EXPECT_EQ("is a directory", error);
  EXPECT_FALSE(directory.Open((dir.path() / "missing").string(), &error));
}

TEST(InputFileTest, PipesAndFileSystemsWithoutDirectIo) {
  TempDir dir;
  const std::string fifo = (dir.path() / "fifo").string();
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
  const std::vector<uint8_t> data = PatternBytes(300000);
  std::thread writer([&] { WriteFileBytes(fifo, data); });
  EXPECT_EQ(data, ReadAll(fifo, {70000}));
  writer.join();

  MemoryMount ramfs(0);  // Refuses O_DIRECT.
  REQUIRE_MOUNTED(ramfs);
  const std::string onRamfs = plat::Utf16ToUtf8(ramfs.u16()) + "/large";
  WriteFileBytes(onRamfs, LargeFile());
  EXPECT_EQ(LargeFile(), ReadAll(onRamfs, {1 << 20}));
}

}  // namespace
