#include <gtest/gtest.h>

#include <sstream>

#include "tools/commands/generate_command.h"
#include "tools/commands/help_text.h"
#include "tools/commands/sort_keys.h"
#include "tools/commands/sort_options.h"

namespace tolvarine {
namespace {

// The arguments of a command line split at spaces.
std::vector<std::string> Words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> words;
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

std::string SortError(std::vector<std::string> args) {
  SortOptions options;
  std::string error;
  EXPECT_FALSE(ParseSortOptions(args, &options, &error)) << args[0];
  return error;
}

std::string GenerateError(const std::string& line) {
  GenerateOptions options;
  std::string error;
  EXPECT_FALSE(ParseGenerateOptions(Words(line), &options, &error)) << line;
  return error;
}

TEST(SortOptionsTest, AcceptsTheUsualSpellingsOfOptions) {
  SortOptions options;
  std::string error;
  ASSERT_TRUE(ParseSortOptions(Words("-kname:desc:flags=0x10 --key=2 -uq -o out.csv -S -50 -T a;b; "
                                     "--scratch=c --threads 4 --delimiter tab --no-header --schema "
                                     "x:i4 --stats -- -in.csv"),
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

  ASSERT_TRUE(ParseSortOptions(Words("-k k --format fixed --fields k:i4 -"), &options, &error));
  EXPECT_EQ(options.format, FileFormat::kFixed);
  EXPECT_EQ(options.input, "-");
  ASSERT_TRUE(ParseSortOptions(Words("in.csv -k b -ok.csv -kx:asc"), &options, &error)) << error;
  EXPECT_EQ(options.input, "in.csv");
  EXPECT_EQ(options.output, "k.csv");
  ASSERT_EQ(options.keys.size(), 2u);
  EXPECT_EQ(options.keys[1].column, "x");
}

// Messages say what is wrong and name an option as it was written.
TEST(SortOptionsTest, ExplainsWhatIsWrong) {
  const std::pair<const char*, const char*> cases[] = {
      {"in.csv", "no sort key given: name at least one column with -k COLUMN"},
      {"-k a -S 5000",
       "option '-S': '5000' is not a number of megabytes (or a negative percent) from -100 to "
       "4095"},
      {"-k a --ram-budget=5000", "option '--ram-budget': '5000' is not a number of megabytes"},
      {"-k a --scratch-file-size x",
       "option '--scratch-file-size': 'x' is not a number of megabytes from 0 to 4095"},
      {"-k a --threads -1", "thread count"},
      {"-k a:flags=x", "not a number of comparison flags"},
      {"-k :desc", "a key names no column"},
      {"--key=", "a key names no column"},
      {"-k a --delimiter=",
       "option '--delimiter': '' is not one character other than a quote or a line break"},
      {"-k a --delimiter \"", "not one character"},
      {"a.csv -k a b.csv", "more than one input file given ('a.csv', 'b.csv'); sort reads one"},
      {"-k a --format fixed", "--format fixed needs the record layout: --fields 'NAME:TYPE,...'"},
      {"-k a --format=fixed --fields=a:i4 --schema s --no-header",
       "option '--no-header' is for --format csv"},
      {"-k a --fields a:i4", "is for --format fixed"},
      {"-k a --format=txt", "option '--format': 'txt' is neither csv nor fixed"},
      // Syntax comes before values: the unknown option is named, not the budget.
      {"-S 5000 -k a --bogus", "unknown option '--bogus'"}};
  for (const auto& [line, message] : cases) {
    EXPECT_NE(SortError(Words(line)).find(message), std::string::npos) << line;
  }
  for (const char* flags : {"64", "0x80", "0x100", "0x10000000", "0xFFFFFFFF"}) {
    EXPECT_NE(SortError({"-k", std::string("a:flags=") + flags}).find("does not define"),
              std::string::npos)
        << flags;
  }
}

// Every option the parser takes is explained in the help text.
TEST(SortOptionsTest, HelpDocumentsEveryOption) {
  for (const std::string& option :
       Words("--output --key --unique --ram-budget --scratch --scratch-file-size --threads "
             "--format --delimiter --no-header --schema --fields --progress --quiet --stats "
             "--help -o, -k, -u, -S, -T, -q,")) {
    EXPECT_NE(SortHelp().find(option), std::string::npos) << option;
  }
  for (const std::string& option : Words("--layout --schema --fields --format --rows --seed "
                                         "--nulls --delimiter --no-header --output --help")) {
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
  ASSERT_TRUE(ParseGenerateOptions({}, &options, &error));
  EXPECT_EQ(options.format, FileFormat::kCsv);
  EXPECT_EQ(options.schema, std::string(kCsvLayoutSchema));
  ASSERT_TRUE(ParseGenerateOptions(Words("--layout gensort -n 5 --seed=9"), &options, &error));
  EXPECT_EQ(options.format, FileFormat::kFixed);
  EXPECT_EQ(options.fields, std::string(kGensortLayoutFields));
  EXPECT_EQ(options.rows, 5u);
  EXPECT_EQ(options.seed, 9u);
  ASSERT_TRUE(ParseGenerateOptions(Words("--fields a:i4"), &options, &error));
  EXPECT_EQ(options.format, FileFormat::kFixed);
  GenerateError("--schema a:i4 --format fixed");
  GenerateError("--nulls 101");
  EXPECT_EQ(GenerateError("-n -1"), "option '-n': '-1' is not a whole number");
  EXPECT_EQ(GenerateError("--rows=5x"), "option '--rows': '5x' is not a whole number");
  EXPECT_EQ(GenerateError("--nulls="), "option '--nulls': '' is not a percent from 0 to 100");
  EXPECT_EQ(GenerateError("-o x -- -y"), "unexpected argument '-y' (write to a file with -o FILE)");
  ASSERT_TRUE(ParseGenerateOptions(Words("-n7 --seed 3 -ofile --nulls=5 --no-header --delimiter=;"),
                                   &options, &error))
      << error;
  EXPECT_EQ(options.rows, 7u);
  EXPECT_EQ(options.output, "file");
  EXPECT_EQ(options.nullPercent, 5u);
  EXPECT_FALSE(options.header);
  EXPECT_EQ(options.delimiter, ';');
}

}  // namespace
}  // namespace tolvarine
