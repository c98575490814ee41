// Splits a command's arguments into options and operands, in the usual
// manner: "-k VALUE", "-kVALUE", "--key VALUE", "--key=VALUE", flags grouped
// as "-uq", "--" ending the options, and "-" alone as an operand.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tolvarine {

struct OptionSpec {
  int id;
  char shortName;  // 0: none.
  std::string_view longName;
  bool takesValue;
};

struct ParsedOption {
  int id;
  std::string name;  // As spelled on the command line, for messages.
  std::string value;
};

struct CommandLine {
  std::vector<ParsedOption> options;  // In the order given.
  std::vector<std::string> operands;
};

// False with *error naming the offending argument.
bool ParseCommandLine(std::span<const std::string> args, std::span<const OptionSpec> known,
                      CommandLine* result, std::string* error);

// A decimal 32-bit integer, the whole text; false otherwise.
bool ParseInt32(std::string_view text, int32_t* value);

}  // namespace tolvarine
