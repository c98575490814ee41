// "tolvarine register" and "unregister".
#include <filesystem>

#include "host/component_factory.h"
#include "platform/bstr.h"
#include "tools/commands/commands.h"
#include "tools/commands/component_loader.h"
#include "tools/commands/file_paths.h"
#include "tools/commands/help_text.h"

namespace tolvarine {

int RunRegisterCommand(std::span<const std::string> args, bool unregister, std::ostream& out,
                       std::ostream& err) {
  const char* command = unregister ? "tolvarine unregister: " : "tolvarine register: ";
  if (!args.empty() && (args[0] == "-h" || args[0] == "--help")) {
    out << RegisterHelp();
    return kExitSuccess;
  }
  if (args.size() > 1 || (!args.empty() && args[0].starts_with("-") && args[0] != "-")) {
    err << command << "expected at most one argument, the library\n"
        << "Try 'tolvarine register --help'.\n";
    return kExitUsage;
  }
  std::u16string library = LibraryBesideProgram();
  if (!args.empty()) {
    std::error_code code;
    const std::filesystem::path path = std::filesystem::absolute(PathFromUtf8(args[0]), code);
    library = plat::Utf8ToUtf16(code ? args[0] : Utf8FromPath(path));
  }
  HRESULT hr =
      unregister ? host::UnregisterServerLibrary(library) : host::RegisterServerLibrary(library);
  if (FAILED(hr)) {
    err << command << plat::Utf16ToUtf8(library) << ": " << DescribeResult(hr) << '\n';
    return kExitFailure;
  }
  return kExitSuccess;
}

}  // namespace tolvarine
