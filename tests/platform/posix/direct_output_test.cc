// Writing a new file around the page cache: every byte lands where it
// belongs whatever the piece sizes, the descriptor is left as a plain one at
// the end of the file, and file systems that refuse direct I/O or run full
// fail as plain writes do.
#include "platform/posix/direct_output.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "tests/support/posix_test_files.h"

namespace {

using testsupport::FileBytes;
using testsupport::MemoryMount;
using testsupport::PatternBytes;
using testsupport::TempDir;

// Writes `data` in pieces of the given sizes (cycled); the result of Finish,
// with *error.
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
