#include <gtest/gtest.h>

#include <sstream>

#include "tools/commands/generate_command.h"
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
  ASSERT_TRUE(ParseSortOptions(Words("-kname:desc:flags=0x10 --key=2 -uq -S -50 -T a;b; "
                                     "--scratch=c --delimiter tab --no-header -- -in.csv"),
                               &options, &error))
      << error;
  ASSERT_EQ(options.keys.size(), 2u);
  EXPECT_EQ(options.keys[0].column, "name");
  EXPECT_TRUE(options.keys[0].descending);
  EXPECT_EQ(options.keys[0].comparisonFlags, 16);
  EXPECT_FALSE(options.keys[1].comparisonFlags.has_value());
  EXPECT_TRUE(options.unique && options.quiet && !options.header);
  EXPECT_EQ(options.ramBudget, -50);
  EXPECT_EQ(options.scratch, (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(options.delimiter, '\t');
  EXPECT_EQ(options.input, "-in.csv");
}

// Messages say what is wrong and name an option as it was written.
TEST(SortOptionsTest, ExplainsWhatIsWrong) {
  const std::pair<const char*, const char*> cases[] = {
      {"in.csv", "no sort key given: name at least one column with -k COLUMN"},
      {"-k a --ram-budget=5000", "option '--ram-budget': '5000' is not a number of megabytes"},
      {"-k :desc", "a key names no column"},
      {"a.csv -k a b.csv", "more than one input file given ('a.csv', 'b.csv'); sort reads one"},
      {"-k a --format fixed", "--format fixed needs the record layout: --fields 'NAME:TYPE,...'"},
      // Syntax comes before values: the unknown option is named, not the budget.
      {"-S 5000 -k a --bogus", "unknown option '--bogus'"}};
  for (const auto& [line, message] : cases) {
    EXPECT_NE(SortError(Words(line)).find(message), std::string::npos) << line;
  }
  for (const char* flags : {"64", "0xFFFFFFFF"}) {
    EXPECT_NE(SortError({"-k", std::string("a:flags=") + flags}).find("does not define"),
              std::string::npos)
        << flags;
  }
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
  EXPECT_FALSE(ResolveSortKeys({{"a", false, {}}, {"1", false, {}}}, columns, &settings, &error));
  EXPECT_EQ(error, "column 'a' is named by two keys (key 1 and key 2)");
  columns = Columns("a:i4,b:i4");
  columns[1].name = "a";  // As a CSV header may have it.
  EXPECT_FALSE(ResolveSortKeys({{"a", false, {}}}, columns, &settings, &error));
  EXPECT_NE(error.find("ambiguous"), std::string::npos);
  EXPECT_TRUE(ResolveSortKeys({{"2", false, {}}}, columns, &settings, &error));
}

TEST(GenerateOptionsTest, LayoutsChooseTheFormatAndValuesAreChecked) {
  GenerateOptions options;
  std::string error;
  ASSERT_TRUE(ParseGenerateOptions(Words("--layout gensort -n 5 --seed=9"), &options, &error));
  EXPECT_EQ(options.format, FileFormat::kFixed);
  EXPECT_EQ(options.rows, 5u);
  EXPECT_EQ(options.seed, 9u);
  GenerateError("--schema a:i4 --format fixed");
  EXPECT_EQ(GenerateError("--rows=5x"), "option '--rows': '5x' is not a whole number");
  EXPECT_EQ(GenerateError("--nulls=101"), "option '--nulls': '101' is not a percent from 0 to 100");
  EXPECT_EQ(GenerateError("-o x -- -y"), "unexpected argument '-y' (write to a file with -o FILE)");
}

}  // namespace
}  // namespace tolvarine
