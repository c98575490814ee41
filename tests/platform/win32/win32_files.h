// Helpers of the tests of the Windows file services: a private directory
// and whole files written and read with the system's own calls.
#pragma once

#include <windows.h>

#include <string>

#include "platform/bstr.h"
#include "platform/thread.h"

namespace win32test {

// A fresh directory under the system's temporary directory, removed with
// everything in it at the end of the scope.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::wstring& path() const { return path_; }  // Ends with a backslash.
  std::string Utf8(const std::wstring& leaf) const;
  std::u16string Utf16(const std::wstring& leaf) const;
  size_t EntryCount() const;  // Entries other than "." and "..".

 private:
  std::wstring path_;
};

inline ScratchDir::ScratchDir() {
  std::u16string temp;
  plat::GetTempPath(&temp);
  static int made = 0;
  path_ = reinterpret_cast<const wchar_t*>(temp.c_str());
  path_ += L"tolvarine-check-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
           std::to_wstring(++made);
  ::CreateDirectoryW(path_.c_str(), nullptr);
  path_ += L"\\";
}

inline ScratchDir::~ScratchDir() {
  WIN32_FIND_DATAW found;
  const HANDLE search = ::FindFirstFileW((path_ + L"*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      ::DeleteFileW((path_ + found.cFileName).c_str());
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
  }
  ::RemoveDirectoryW(path_.c_str());
}

inline std::u16string ScratchDir::Utf16(const std::wstring& leaf) const {
  const std::wstring whole = path_ + leaf;
  return std::u16string(reinterpret_cast<const char16_t*>(whole.c_str()), whole.size());
}

inline std::string ScratchDir::Utf8(const std::wstring& leaf) const {
  return plat::Utf16ToUtf8(Utf16(leaf));
}

inline size_t ScratchDir::EntryCount() const {
  size_t count = 0;
  WIN32_FIND_DATAW found;
  const HANDLE search = ::FindFirstFileW((path_ + L"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return 0;
  do {
    const std::wstring name = found.cFileName;
    count += name != L"." && name != L"..";
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);
  return count;
}

inline bool WriteWholeFile(const std::wstring& path, const std::string& bytes) {
  const HANDLE file =
      ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok =
      ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
      written == bytes.size();
  ::CloseHandle(file);
  return ok;
}

inline std::string ReadWholeFile(const std::wstring& path) {
  const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<missing>";
  std::string all;
  char block[65536];
  DWORD got = 0;
  while (::ReadFile(file, block, sizeof block, &got, nullptr) && got > 0) all.append(block, got);
  ::CloseHandle(file);
  return all;
}

inline bool Exists(const std::wstring& path) {
  return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace win32test
