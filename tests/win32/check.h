// A minimal check harness for the Windows file services, run as a plain
// program under Wine or on Windows (the GoogleTest suites build for Linux
// only). Each failed check prints its place; the program ends with the
// "N passed, N failed" line and exits non-zero on any failure.
#pragma once

#include <cstdio>
#include <string>

#include "platform/com_types.h"

namespace wincheck {

struct Tally {
  int passed = 0;
  int failed = 0;
};
inline Tally& Counts() {
  static Tally tally;
  return tally;
}

inline void Check(bool ok, const char* what, const char* file, int line) {
  if (ok) {
    ++Counts().passed;
    return;
  }
  ++Counts().failed;
  std::printf("FAILED %s:%d: %s (last error %lu)\n", file, line, what,
              static_cast<unsigned long>(::GetLastError()));
}

// Wine, whose ntdll exports its version. Where it answers differently from
// Windows, the check says so and looks only at what both share.
inline bool RunningOnWine() {
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// A fresh directory under the system's temporary directory, removed with
// everything in it at the end of the scope.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  const std::wstring& path() const { return path_; }  // Ends with a backslash.
  std::string Utf8(const std::wstring& leaf) const;
  std::u16string Utf16(const std::wstring& leaf) const;
  size_t EntryCount() const;  // Entries other than "." and "..".

 private:
  std::wstring path_;
};

bool WriteWholeFile(const std::wstring& path, const std::string& bytes);
std::string ReadWholeFile(const std::wstring& path);
bool Exists(const std::wstring& path);

// The groups of checks.
void CheckScratchFiles();
void CheckBlockTransfers();
void CheckDriveTypes();
void CheckInputFile();
void CheckOutputFile();
void CheckProcessFacts();

}  // namespace wincheck

#define CHECK(condition) ::wincheck::Check((condition), #condition, __FILE__, __LINE__)
