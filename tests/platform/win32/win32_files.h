// A private directory for the tests of the Windows file services, with its
// paths in the forms the system's calls and the platform's take.
#pragma once

#include <windows.h>

#include <string>

#include "platform/bstr.h"
#include "tests/support/test_files.h"

namespace win32test {

using testsupport::ReadText;
using testsupport::WriteText;

class ScratchDir : public testsupport::TempDir {
 public:
  ScratchDir() : TempDir("tolvarine-check-") {}
  // The directory with a closing backslash, to append a name to.
  std::wstring Wide() const { return path().wstring() + L"\\"; }
  std::u16string Utf16(const std::wstring& leaf) const {
    const std::wstring whole = Wide() + leaf;
    return std::u16string(whole.begin(), whole.end());
  }
  std::string Utf8(const std::wstring& leaf) const { return plat::Utf16ToUtf8(Utf16(leaf)); }
};

inline bool Exists(const std::wstring& path) {
  return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace win32test
