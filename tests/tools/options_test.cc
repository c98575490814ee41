#include <gtest/gtest.h>

#include "tools/commands/generate_command.h"
#include "tools/commands/help_text.h"
#include "tools/commands/sort_keys.h"
#include "tools/commands/sort_options.h"

namespace tolvarine {
namespace {

bool Parse(std::vector<std::string> args, SortOptions* options, std::string* error) {
  return ParseSortOptions(args, options, error);
}

std::string ParseError(std::vector<std::string> args) {
  SortOptions options;
  std::string error;
  EXPECT_FALSE(Parse(args, &options, &error));
  return error;
}

TEST(SortOptionsTest, AcceptsTheUsualSpellingsOfOptions) {
  SortOptions options;
  std::string error;
  ASSERT_TRUE(Parse({"-kname:desc:flags=0x10",
                     "--key=2",
                     "-uq",
                     "-o",
                     "out.csv",
                     "-S",
                     "-50",
                     "-T",
                     "a;b;",
                     "--scratch=c",
                     "--threads",
                     "4",
                     "--delimiter",
                     "tab",
                     "--no-header",
                     "--schema",
                     "x:i4",
                     "--stats",
                     "--",
                     "-in.csv"},
                    &options, &error))
      << error;
  ASSERT_EQ(options.keys.size(), 2u);
  EXPECT_EQ(options.keys[0].column, "name");
  EXPECT_TRUE(options.keys[0].descending);
  EXPECT_EQ(options.keys[0].comparisonFlags, 16);
  EXPECT_EQ(options.keys[1].column, "2");
  EXPECT_FALSE(options.keys[1].comparisonFlags.has_value());
  EXPECT_TRUE(options.unique && options.quiet && options.stats && !options.header);
  EXPECT_EQ(options.output, "out.csv");
  EXPECT_EQ(options.ramBudget, -50);
  EXPECT_EQ(options.scratch, (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(options.threads, 4);
  EXPECT_EQ(options.delimiter, '\t');
  EXPECT_EQ(options.input, "-in.csv");

  ASSERT_TRUE(Parse({"-k", "k", "--format", "fixed", "--fields", "k:i4", "-"}, &options, &error));
  EXPECT_EQ(options.format, FileFormat::kFixed);
  EXPECT_EQ(options.input, "-");
  ASSERT_TRUE(Parse({"--help"}, &options, &error));
  EXPECT_TRUE(options.help);
}

TEST(SortOptionsTest, ExplainsWhatIsWrong) {
  EXPECT_EQ(ParseError({"in.csv"}), "no sort key given: name at least one column with -k COLUMN");
  EXPECT_EQ(ParseError({"-k", "a", "--bogus"}), "unknown option '--bogus'");
  EXPECT_EQ(ParseError({"-k"}), "option '-k' needs a value");
  EXPECT_EQ(ParseError({"-k", "a", "--unique=yes"}), "option '--unique' takes no value");
  EXPECT_EQ(ParseError({"-k", "a", "-S", "5000"}),
            "option '-S': '5000' is not a number of megabytes (or a negative percent) from -100 "
            "to 4095");
  EXPECT_NE(ParseError({"-k", "a", "--threads", "-1"}).find("thread count"), std::string::npos);
  EXPECT_NE(ParseError({"-k", "a:flags=x"}).find("not a number of comparison flags"),
            std::string::npos);
  for (const char* flags : {"64", "0x80", "0x100", "0x10000000", "0xFFFFFFFF"}) {
    EXPECT_NE(ParseError({"-k", std::string("a:flags=") + flags}).find("does not define"),
              std::string::npos)
        << flags;
  }
  EXPECT_EQ(ParseError({"-k", ":desc"}), "a key names no column");
  EXPECT_NE(ParseError({"-k", "a", "--delimiter", "\""}).find("not one character"),
            std::string::npos);
  EXPECT_NE(ParseError({"-k", "a", "x", "y"}).find("more than one input"), std::string::npos);
  EXPECT_EQ(ParseError({"-k", "a", "--format", "fixed"}),
            "--format fixed needs the record layout: --fields 'NAME:TYPE,...'");
  EXPECT_EQ(ParseError({"-k", "a", "--format", "fixed", "--fields", "a:i4", "--no-header"}),
            "option '--no-header' is for --format csv");
  EXPECT_NE(ParseError({"-k", "a", "--fields", "a:i4"}).find("is for --format fixed"),
            std::string::npos);
}

// Messages name an option as it was written, short or long.
TEST(SortOptionsTest, MessagesNameTheSpellingGiven) {
  EXPECT_EQ(ParseError({"-k", "a", "--ram-budget=5000"}),
            "option '--ram-budget': '5000' is not a number of megabytes (or a negative percent) "
            "from -100 to 4095");
  EXPECT_EQ(ParseError({"-k", "a", "--scratch-file-size", "x"}),
            "option '--scratch-file-size': 'x' is not a number of megabytes from 0 to 4095");
  EXPECT_EQ(ParseError({"-k", "a", "--delimiter="}),
            "option '--delimiter': '' is not one character other than a quote or a line break");
  EXPECT_EQ(ParseError({"--key="}), "a key names no column");
  EXPECT_EQ(
      ParseError({"-k", "a", "--format=fixed", "--fields=a:i4", "--schema", "s", "--no-header"}),
      "option '--no-header' is for --format csv");
  EXPECT_EQ(ParseError({"-k", "a", "--format=txt"}),
            "option '--format': 'txt' is neither csv nor fixed");
  EXPECT_EQ(ParseError({"a.csv", "-k", "a", "b.csv"}),
            "more than one input file given ('a.csv', 'b.csv'); sort reads one");
  // Syntax comes before values: the unknown option is named, not the budget.
  EXPECT_EQ(ParseError({"-S", "5000", "-k", "a", "--bogus"}), "unknown option '--bogus'");

  SortOptions options;
  std::string error;
  ASSERT_TRUE(Parse({"in.csv", "-k", "b", "-ok.csv", "-kx:asc"}, &options, &error)) << error;
  EXPECT_EQ(options.input, "in.csv");
  EXPECT_EQ(options.output, "k.csv");
  ASSERT_EQ(options.keys.size(), 2u);
  EXPECT_EQ(options.keys[0].column, "b");
  EXPECT_EQ(options.keys[1].column, "x");
}

// Every option the parser takes is explained in the help text.
TEST(SortOptionsTest, HelpDocumentsEveryOption) {
  for (const char* option :
       {"--output",   "--key",    "--unique",    "--ram-budget", "--scratch", "--scratch-file-size",
        "--threads",  "--format", "--delimiter", "--no-header",  "--schema",  "--fields",
        "--progress", "--quiet",  "--stats",     "--help",       "-o,",       "-k,",
        "-u,",        "-S,",      "-T,",         "-q,"}) {
    EXPECT_NE(SortHelp().find(option), std::string::npos) << option;
  }
  for (const char* option : {"--layout", "--schema", "--fields", "--format", "--rows", "--seed",
                             "--nulls", "--delimiter", "--no-header", "--output", "--help"}) {
    EXPECT_NE(GenerateHelp().find(option), std::string::npos) << option;
  }
  EXPECT_NE(SortHelp().find(kDefaultCsvColumnType), std::string::npos);
}

std::vector<ColumnModel> Columns(std::string_view list) {
  std::vector<FieldSpec> fields;
  std::string error;
  EXPECT_TRUE(ParseFieldList(list, &fields, &error)) << error;
  return MakeColumnModels(fields);
}

TEST(SortKeysTest, NamesAndNumbersBecomeKeyPositions) {
  std::vector<ColumnModel> columns = Columns("a:i4,2:i4,c:wstr(5)");
  std::vector<ColumnKey> settings;
  std::string error;
  ASSERT_TRUE(ResolveSortKeys({{"c", true, 32}, {"2", false, {}}, {"1", false, {}}}, columns,
                              &settings, &error))
      << error;
  EXPECT_EQ(settings[2].sortKeyPosition, -1);
  EXPECT_EQ(settings[2].comparisonFlags, 32);
  EXPECT_EQ(settings[1].sortKeyPosition, 2);  // The column named "2", not column 2.
  EXPECT_EQ(settings[0].sortKeyPosition, 3);

  EXPECT_FALSE(ResolveSortKeys({{"x", false, {}}}, columns, &settings, &error));
  EXPECT_EQ(error, "unknown key column 'x'; the columns are: a, 2, c");
  EXPECT_FALSE(ResolveSortKeys({{"4", false, {}}}, columns, &settings, &error));
  EXPECT_FALSE(ResolveSortKeys({{"a", false, {}}, {"1", false, {}}}, columns, &settings, &error));
  EXPECT_EQ(error, "column 'a' is named by two keys (key 1 and key 2)");
  columns = Columns("a:i4,b:i4");
  columns[1].name = "a";  // As a CSV header may have it.
  EXPECT_FALSE(ResolveSortKeys({{"a", false, {}}}, columns, &settings, &error));
  EXPECT_NE(error.find("ambiguous"), std::string::npos);
  EXPECT_TRUE(ResolveSortKeys({{"2", false, {}}}, columns, &settings, &error));
}

TEST(GenerateOptionsTest, LayoutsChooseTheFormatAndColumns) {
  GenerateOptions options;
  std::string error;
  std::vector<std::string> args;
  ASSERT_TRUE(ParseGenerateOptions(args, &options, &error));
  EXPECT_EQ(options.format, FileFormat::kCsv);
  EXPECT_EQ(options.schema, std::string(kCsvLayoutSchema));
  args = {"--layout", "gensort", "-n", "5", "--seed=9"};
  ASSERT_TRUE(ParseGenerateOptions(args, &options, &error));
  EXPECT_EQ(options.format, FileFormat::kFixed);
  EXPECT_EQ(options.fields, std::string(kGensortLayoutFields));
  EXPECT_EQ(options.rows, 5u);
  EXPECT_EQ(options.seed, 9u);
  args = {"--fields", "a:i4"};
  ASSERT_TRUE(ParseGenerateOptions(args, &options, &error));
  EXPECT_EQ(options.format, FileFormat::kFixed);
  args = {"--schema", "a:i4", "--format", "fixed"};
  EXPECT_FALSE(ParseGenerateOptions(args, &options, &error));
  args = {"--nulls", "101"};
  EXPECT_FALSE(ParseGenerateOptions(args, &options, &error));
  args = {"-n", "-1"};
  EXPECT_FALSE(ParseGenerateOptions(args, &options, &error));
  EXPECT_EQ(error, "option '-n': '-1' is not a whole number");
  args = {"--rows=5x"};
  EXPECT_FALSE(ParseGenerateOptions(args, &options, &error));
  EXPECT_EQ(error, "option '--rows': '5x' is not a whole number");
  args = {"--nulls="};
  EXPECT_FALSE(ParseGenerateOptions(args, &options, &error));
  EXPECT_EQ(error, "option '--nulls': '' is not a percent from 0 to 100");
  args = {"-o", "x", "--", "-y"};
  EXPECT_FALSE(ParseGenerateOptions(args, &options, &error));
  EXPECT_EQ(error, "unexpected argument '-y' (write to a file with -o FILE)");
  args = {"-n7", "--seed", "3", "-ofile", "--nulls=5", "--no-header", "--delimiter=;"};
  ASSERT_TRUE(ParseGenerateOptions(args, &options, &error)) << error;
  EXPECT_EQ(options.rows, 7u);
  EXPECT_EQ(options.seed, 3u);
  EXPECT_EQ(options.output, "file");
  EXPECT_EQ(options.nullPercent, 5u);
  EXPECT_FALSE(options.header);
  EXPECT_EQ(options.delimiter, ';');
}

}  // namespace
}  // namespace tolvarine
