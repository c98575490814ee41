// std::filesystem paths for the program's UTF-8 file names. A path made from
// a std::string is read in the ANSI code page on Windows, where a character
// outside that page is lost or changed; a path made from char8_t text is
// UTF-8 on every platform (on POSIX the bytes stay as they are).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace tolvarine {

inline std::filesystem::path PathFromUtf8(std::string_view utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string Utf8FromPath(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace tolvarine
