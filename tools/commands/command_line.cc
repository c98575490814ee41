// The command line is split here, by hand, on purpose. CLI11 (2.1) was tried
// in its place and loses what our messages and forms depend on: it does not
// tell which spelling was written ("-S" or "--ram-budget"); after
// "--delimiter=" it takes the next argument as the value; it accepts
// "--unique=true" for a flag; and it passes unknown options such as "-5" on
// as operands. Keeping all of that around it took a marker scheme longer than
// this parser, so the library would have cost clarity for nothing.
// tests/tools/command_line_test.cc pins every form.
#include "tools/commands/command_line.h"

#include <charconv>

namespace tolvarine {
namespace {

const OptionSpec* FindLong(std::span<const OptionSpec> options, std::string_view name) {
  for (const OptionSpec& known : options) {
    if (known.longName == name) return &known;
  }
  return nullptr;
}

const OptionSpec* FindShort(std::span<const OptionSpec> options, char name) {
  for (const OptionSpec& known : options) {
    if (known.shortName != 0 && known.shortName == name) return &known;
  }
  return nullptr;
}

}  // namespace

bool ParseCommandLine(std::span<const std::string> args, std::span<const OptionSpec> options,
                      CommandLine* result, std::string* error) {
  *result = CommandLine{};
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      result->operands.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (arg[1] == '-') {
      size_t equals = arg.find('=');
      std::string name = arg.substr(0, equals);
      const OptionSpec* known = FindLong(options, std::string_view(name).substr(2));
      if (!known) {
        *error = "unknown option '" + name + "'";
        return false;
      }
      ParsedOption option{known->id, name, {}};
      if (equals != std::string::npos) {
        if (!known->takesValue) {
          *error = "option '" + name + "' takes no value";
          return false;
        }
        option.value = arg.substr(equals + 1);
      } else if (known->takesValue) {
        if (++i == args.size()) {
          *error = "option '" + name + "' needs a value";
          return false;
        }
        option.value = args[i];
      }
      result->options.push_back(std::move(option));
      continue;
    }
    // One or more short options; the first that takes a value takes the rest
    // of the argument, or the next argument.
    for (size_t j = 1; j < arg.size(); ++j) {
      const OptionSpec* known = FindShort(options, arg[j]);
      std::string name = std::string("-") + arg[j];
      if (!known) {
        *error = "unknown option '" + name + "'";
        return false;
      }
      ParsedOption option{known->id, name, {}};
      if (known->takesValue) {
        if (j + 1 < arg.size()) {
          option.value = arg.substr(j + 1);
        } else if (++i < args.size()) {
          option.value = args[i];
        } else {
          *error = "option '" + name + "' needs a value";
          return false;
        }
        result->options.push_back(std::move(option));
        break;
      }
      result->options.push_back(std::move(option));
    }
  }
  return true;
}

bool ParseInt32(std::string_view text, int32_t* value) {
  if (text.size() > 1 && text[0] == '+' && text[1] != '-') text.remove_prefix(1);
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *value);
  return !text.empty() && ec == std::errc() && end == text.data() + text.size();
}

}  // namespace tolvarine
