#include "platform/program_startup.h"

namespace plat {

bool ProgramArguments(int argc, char** argv, std::vector<std::string>* arguments,
                      std::string* /*error*/) {
  arguments->assign(argv + (argc > 0 ? 1 : 0), argv + argc);
  return true;
}

// Streams carry bytes on POSIX.
void UseBinaryStandardStreams() {}

}  // namespace plat
