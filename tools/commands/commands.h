// The commands of the tolvarine program. Each takes the arguments after its
// name and the program's standard streams, and returns the exit status:
// 0 success, 1 failure, 2 wrong usage.
#pragma once

#include <istream>
#include <ostream>
#include <span>
#include <string>

namespace tolvarine {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

int RunSortCommand(std::span<const std::string> args, std::istream& in, std::ostream& out,
                   std::ostream& err);
int RunGenerateCommand(std::span<const std::string> args, std::ostream& out, std::ostream& err);
// `unregister` selects DllUnregisterServer.
int RunRegisterCommand(std::span<const std::string> args, bool unregister, std::ostream& out,
                       std::ostream& err);

}  // namespace tolvarine
