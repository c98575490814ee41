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

#include "platform/bstr.h"
#include "platform/win32/wide_text.h"

namespace plat {
namespace {

// The C runtime's _O_BINARY (its <fcntl.h> shares its name with the POSIX
// header, which stays out of this folder); a value fixed by the runtime.
constexpr int kBinaryMode = 0x8000;

struct LocalFreeDeleter {
  void operator()(wchar_t** block) const { ::LocalFree(block); }
};

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
  // The first is the program's own name. An unpaired surrogate has no UTF-8
  // form: replacing it would turn a name that exists into one that does not.
  for (int i = 1; i < count; ++i) {
    const wchar_t* argument = wide.get()[i];
    if (!AppendUtf16AsUtf8(AsUtf16(argument, std::wcslen(argument)), &arguments->emplace_back())) {
      *error =
          "argument " + std::to_string(i) + " is not Unicode text: it holds an unpaired surrogate";
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
