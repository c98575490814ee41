#include "tools/commands/command_line.h"

#include <gtest/gtest.h>

namespace tolvarine {
namespace {

enum { kKey, kOutput, kRam, kUnique, kQuiet, kNoHeader };

constexpr OptionSpec kOptions[] = {
    {kKey, 'k', "key", true},        {kOutput, 'o', "output", true},
    {kRam, 'S', "ram-budget", true}, {kUnique, 'u', "unique", false},
    {kQuiet, 'q', "quiet", false},   {kNoHeader, 0, "no-header", false},
};

// "name=value" per option (flags: the name alone), then "| operand" per operand.
std::string Split(std::vector<std::string> args) {
  CommandLine line;
  std::string error;
  if (!ParseCommandLine(args, kOptions, &line, &error)) return "error: " + error;
  std::string text;
  for (const ParsedOption& option : line.options) {
    text += option.name;
    if (kOptions[option.id].takesValue) text += "=" + option.value;
    text += ' ';
  }
  for (const std::string& operand : line.operands) text += "| " + operand + ' ';
  return text;
}

TEST(CommandLineTest, ValuesAttachedOrSeparate) {
  EXPECT_EQ(Split({"-kA", "-k", "B", "--key=C", "--key", "D", "-o", "out"}),
            "-k=A -k=B --key=C --key=D -o=out ");
  EXPECT_EQ(Split({"-uqkV", "-uk", "W", "-k=a"}), "-u -q -k=V -u -k=W -k==a ");
  // A value is the next argument whatever it looks like.
  EXPECT_EQ(Split({"-k", "-x", "--key", "--bogus", "-o", "-", "-k", "--"}),
            "-k=-x --key=--bogus -o=- -k=-- ");
  EXPECT_EQ(Split({"-S-5", "--key=", "-k", ""}), "-S=-5 --key= -k= ");
}

TEST(CommandLineTest, OperandsAmongOptionsAndAfterTheEnd) {
  EXPECT_EQ(Split({"in", "-u", "-", "", "--", "-u", "--key=x", "--"}),
            "-u | in | - |  | -u | --key=x | -- ");
}

TEST(CommandLineTest, FirstMistakeIsNamedAsWritten) {
  EXPECT_EQ(Split({"--bogus=3"}), "error: unknown option '--bogus'");
  EXPECT_EQ(Split({"-ux"}), "error: unknown option '-x'");
  EXPECT_EQ(Split({"--no-head"}), "error: unknown option '--no-head'");
  EXPECT_EQ(Split({"-uk"}), "error: option '-k' needs a value");
  EXPECT_EQ(Split({"--unique=", "-x"}), "error: option '--unique' takes no value");
}

}  // namespace
}  // namespace tolvarine
