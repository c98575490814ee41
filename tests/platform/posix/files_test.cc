// Input files give every byte in order (any read sizes, read ahead, pipes, no direct I/O); direct
// output lands every byte, leaves the descriptor plain at the end of the file, and fails as plain
// writes do without direct I/O or space.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <thread>
#include <vector>

#include "platform/input_file.h"
#include "platform/posix/direct_output.h"
#include "tests/support/posix_test_files.h"

namespace {

using testsupport::FileBytes;
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

// Read ahead around the cache; not a whole number of 4 MiB pieces nor of disk blocks.
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

  const std::string empty = (dir.path() / "empty").string();
  WriteFileBytes(empty, {});
  EXPECT_TRUE(ReadAll(empty, {4096}).empty());

  plat::InputFile directory;
  std::string error;
  EXPECT_FALSE(directory.Open(dir.path().string(), &error));
  EXPECT_EQ("is a directory", error);
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

// Writes `data` in pieces of the given sizes (cycled); the result of Finish, with *error.
bool WriteInPieces(const std::string& path, const std::vector<uint8_t>& data,
                   const std::vector<size_t>& pieces, int* error, off_t* endOffset = nullptr,
                   bool* stillDirect = nullptr) {
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  EXPECT_GE(fd, 0);
  plat::DirectOutput out;
  EXPECT_TRUE(out.Start(fd));
  bool ok = true;
  for (size_t at = 0, i = 0; ok && at < data.size(); ++i) {
    const size_t part = std::min(pieces[i % pieces.size()], data.size() - at);
    ok = out.Write(data.data() + at, part, error);
    at += part;
  }
  ok = ok && out.Finish(error);
  if (endOffset) *endOffset = lseek(fd, 0, SEEK_CUR);
  if (stillDirect) *stillDirect = (fcntl(fd, F_GETFL) & O_DIRECT) != 0;
  close(fd);
  return ok;
}

TEST(DirectOutputTest, EveryByteLandsAndTheDescriptorIsPlainAtTheEnd) {
  TempDir dir;
  const std::string path = (dir.path() / "out").string();
  // Pieces that straddle the 4 MiB chunk in every way, and a tail of a few bytes.
  for (size_t total : {size_t{0}, size_t{5}, size_t{4} << 20, (size_t{9} << 20) + 4099}) {
    const std::vector<uint8_t> data = PatternBytes(total);
    int error = 0;
    off_t end = -1;
    bool direct = true;
    ASSERT_TRUE(
        WriteInPieces(path, data, {1, 4095, (size_t{4} << 20) + 3, 1 << 20}, &error, &end, &direct))
        << total << ": " << error;
    EXPECT_EQ(data, FileBytes(path)) << total;
    // Commit copies or links the file through this descriptor afterwards.
    EXPECT_EQ(static_cast<off_t>(total), end);
    EXPECT_FALSE(direct);
  }
}

TEST(DirectOutputTest, NoDirectIoOrAFullDiskFailAsPlainWritesDo) {
  MemoryMount ramfs(0);  // Refuses O_DIRECT.
  REQUIRE_MOUNTED(ramfs);
  const std::vector<uint8_t> data = PatternBytes((size_t{6} << 20) + 17);
  const std::string onRamfs = plat::Utf16ToUtf8(ramfs.u16()) + "/out";
  int error = 0;
  ASSERT_TRUE(WriteInPieces(onRamfs, data, {1 << 20}, &error)) << error;
  EXPECT_EQ(data, FileBytes(onRamfs));

  MemoryMount small(4);
  REQUIRE_MOUNTED(small);
  const std::string onSmall = plat::Utf16ToUtf8(small.u16()) + "/out";
  error = 0;
  EXPECT_FALSE(WriteInPieces(onSmall, data, {1 << 20}, &error));
  EXPECT_EQ(ENOSPC, error);
}

}  // namespace
