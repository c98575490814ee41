// Whole files as the tests of the running program write its input and read
// its output. Paths are std::filesystem paths, so that a name outside the
// ANSI code page reaches the file on Windows too.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace toolstest {

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

inline void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

}  // namespace toolstest
