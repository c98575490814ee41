// The tolvarine program: sorts CSV and fixed-width records through the sort
// component, generates test data, and registers the component.
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "platform/com_activation.h"
#include "platform/no_throw.h"
#include "platform/process_limits.h"
#include "platform/program_startup.h"
#include "platform/termination.h"
#include "tools/commands/commands.h"
#include "tools/commands/component_loader.h"
#include "tools/commands/help_text.h"

namespace {

constexpr char kVersion[] = "tolvarine 1.0.0.3";

int RunCommand(const std::vector<std::string>& args) {
  using namespace tolvarine;
  const std::string command = args[0];
  std::span<const std::string> rest(args.data() + 1, args.size() - 1);
  int status;
  if (command == "sort") {
    status = RunSortCommand(rest, std::cin, std::cout, std::cerr);
  } else if (command == "generate") {
    status = RunGenerateCommand(rest, std::cout, std::cerr);
  } else if (command == "register" || command == "unregister") {
    status = RunRegisterCommand(rest, command == "unregister", std::cout, std::cerr);
  } else if (command == "-h" || command == "--help" || command == "help") {
    const std::string topic = rest.empty() ? "" : rest[0];
    std::cout << (topic == "sort"                                ? SortHelp()
                  : topic == "generate"                          ? GenerateHelp()
                  : topic == "register" || topic == "unregister" ? RegisterHelp()
                                                                 : MainHelp());
    status = kExitSuccess;
  } else if (command == "--version") {
    std::cout << kVersion << '\n';
    status = kExitSuccess;
  } else {
    std::cerr << "tolvarine: unknown command '" << command << "'\nTry 'tolvarine --help'.\n";
    return kExitUsage;
  }
  std::cout.flush();
  if (!std::cout && status == kExitSuccess) {
    std::cerr << "tolvarine: writing to standard output failed\n";
    return kExitFailure;
  }
  return status;
}

int Main(int argc, char** argv) {
  using namespace tolvarine;
  std::ios::sync_with_stdio(false);
  // A signal must not leave a temporary output file behind; a large sort
  // keeps many scratch files open.
  plat::HandleTerminationSignals();
  plat::RaiseOpenFileLimit();
  plat::UseBinaryStandardStreams();
  // UTF-8 on every platform: file names reach the files they name, and
  // messages quote them as given.
  std::vector<std::string> args;
  std::string error;
  if (!plat::ProgramArguments(argc, argv, &args, &error)) {
    std::cerr << "tolvarine: " << error << '\n';
    return kExitUsage;
  }
  if (args.empty()) {
    std::cerr << MainHelp();
    return kExitUsage;
  }
  // As any COM host: the component is created through the COM runtime where
  // there is one, in the multithreaded apartment it is registered for.
  const HRESULT com = plat::InitializeCom();
  if (FAILED(com)) {
    std::cerr << "tolvarine: COM cannot be initialised: " << DescribeResult(com) << '\n';
    return kExitFailure;
  }
  const int status = RunCommand(args);
  plat::UninitializeCom();
  return status;
}

}  // namespace

// The one place where an exception becomes the program's exit status. What
// can reach it is the standard library's out-of-memory and length errors
// (the command-line parser's own exceptions end inside it); plat::NoThrow is
// the project's one rule for those, so the program treats them as the
// component's interfaces do.
int main(int argc, char** argv) {
  int status = tolvarine::kExitFailure;
  const HRESULT hr = plat::NoThrow([&] {
    status = Main(argc, argv);
    return S_OK;
  });
  if (FAILED(hr)) std::cerr << "tolvarine: out of memory\n";
  return status;
}
