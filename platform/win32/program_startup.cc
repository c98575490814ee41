// The arguments as the system keeps them, in UTF-16 (main()'s argv, in the
// ANSI code page, is not used), and the C runtime's standard streams.
#include "platform/program_startup.h"

#include <windows.h>
// After windows.h, which they need.
#include <io.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>
#include <memory>

namespace plat {
namespace {

// The C runtime's _O_BINARY (its <fcntl.h> shares its name with the POSIX
// header, which stays out of this folder); a value fixed by the runtime.
constexpr int kBinaryMode = 0x8000;

struct LocalFreeDeleter {
  void operator()(wchar_t** block) const { ::LocalFree(block); }
};

// False when the text cannot be converted: WC_ERR_INVALID_CHARS makes an
// unpaired surrogate an error instead of a silent U+FFFD, which would turn a
// name that exists into one that does not.
bool Utf8FromWide(const wchar_t* text, std::string* utf8) {
  const size_t length = std::wcslen(text);
  utf8->clear();
  if (length == 0) return true;
  const int units = static_cast<int>(length);  // The command line is at most 32767 units long.
  const int bytes = ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, units, nullptr, 0,
                                          nullptr, nullptr);
  if (bytes <= 0) return false;
  utf8->resize(static_cast<size_t>(bytes));
  return ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, units, utf8->data(), bytes,
                               nullptr, nullptr) == bytes;
}

}  // namespace

bool ProgramArguments(int /*argc*/, char** /*argv*/, std::vector<std::string>* arguments,
                      std::string* error) {
  arguments->clear();
  int count = 0;
  const std::unique_ptr<wchar_t*, LocalFreeDeleter> wide(
      ::CommandLineToArgvW(::GetCommandLineW(), &count));
  if (!wide) {
    *error = "the command line cannot be read (error " + std::to_string(::GetLastError()) + ")";
    return false;
  }
  // The first is the program's own name.
  for (int i = 1; i < count; ++i) {
    std::string& argument = arguments->emplace_back();
    if (!Utf8FromWide(wide.get()[i], &argument)) {
      const DWORD code = ::GetLastError();
      *error = "argument " + std::to_string(i) +
               (code == ERROR_NO_UNICODE_TRANSLATION
                    ? " is not Unicode text: it holds an unpaired surrogate"
                    : " cannot be converted to UTF-8 (error " + std::to_string(code) + ")");
      arguments->clear();
      return false;
    }
  }
  return true;
}

void UseBinaryStandardStreams() {
  ::_setmode(::_fileno(stdin), kBinaryMode);
  ::_setmode(::_fileno(stdout), kBinaryMode);
}

}  // namespace plat
