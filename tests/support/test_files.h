// Files for tests: private directories and patterned contents written and
// read back whole. Portable; the POSIX-only memory mounts are in
// posix_test_files.h.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "platform/bstr.h"

namespace testsupport {

namespace fs = std::filesystem;

// A fresh directory under the temporary directory, removed with its content.
class TempDir {
 public:
  explicit TempDir(const std::string& prefix = "tolvarine-test-") {
    std::random_device seed;
    std::mt19937_64 pick(seed());
    const fs::path base = fs::temp_directory_path();
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
      const fs::path candidate = base / (prefix + std::to_string(pick() % 1000000000));
      std::error_code error;
      if (fs::create_directory(candidate, error)) path_ = candidate;
    }
    if (path_.empty()) ADD_FAILURE() << "cannot make a directory under " << base.string();
  }
  ~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const fs::path& path() const { return path_; }
  std::u16string u16() const {
    const std::u8string text = path_.u8string();
    return plat::Utf8ToUtf16(std::string(text.begin(), text.end()));
  }
  size_t Count() const {
    return std::distance(fs::directory_iterator(path_), fs::directory_iterator());
  }

 private:
  fs::path path_;
};

// Bytes that differ from their neighbours and from those a power of two away,
// so that a byte written to the wrong place shows.
inline std::vector<uint8_t> PatternBytes(size_t bytes) {
  std::vector<uint8_t> data(bytes);
  for (size_t i = 0; i < bytes; ++i) data[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);
  return data;
}

inline std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteText(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
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
