// Whole files by std::filesystem path, so that names outside the ANSI code page work on Windows.
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
