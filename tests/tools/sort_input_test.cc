#include "tools/commands/sort_input.h"

#include <gtest/gtest.h>

#include <sstream>

#include "host/buffer_layout.h"
#include "host/row_values.h"
#include "tools/commands/generate_command.h"

namespace tolvarine {
namespace {

// Reads `text` as standard input with `args` (and -k 1) and collects every
// row's error or the row count.
class Reader {
 public:
  // The error of opening the input, "" when it opens.
  std::string Open(const std::string& text, std::vector<std::string> args) {
    args.insert(args.begin(), {"-k", "1"});
    std::string error;
    EXPECT_TRUE(ParseSortOptions(args, &options_, &error)) << error;
    in_.str(text);
    if (input_.Open(options_, in_, &error)) Layout();
    return error;
  }

  // Reads every row into rows_; the first error, if any.
  std::string ReadAll() {
    std::string error;
    for (;;) {
      std::vector<uint8_t> row(layout_.RowWidth());
      SortInput::Status status = input_.ReadRow(slots_.data(), row.data(), &error);
      if (status == SortInput::Status::kEnd) return {};
      if (status == SortInput::Status::kError) return error;
      rows_.push_back(row);
    }
  }

  void Layout() {
    std::vector<host::LayoutColumn> columns;
    for (const ColumnModel& c : input_.Columns()) {
      columns.push_back(
          {int32_t(columns.size() + 1), c.dataType, c.length, c.precision, c.scale, c.codePage});
    }
    ASSERT_EQ(host::BufferLayout::Compute(columns, host::LayoutOrder::kColumnOrder, &layout_),
              S_OK);
    for (size_t i = 0; i < columns.size(); ++i) slots_.push_back(layout_.Column(i));
  }

  SortOptions options_;
  std::istringstream in_;
  SortInput input_;
  host::BufferLayout layout_;
  std::vector<BufferColumnInfo> slots_;
  std::vector<std::vector<uint8_t>> rows_;
};

TEST(SortInputTest, HeaderNamesStringColumnsOfTheDefaultWidth) {
  Reader reader;
  ASSERT_TRUE(reader.Open("id,name\n1,\"a\nb\"\n2,x\n", {}) == "");
  ASSERT_EQ(reader.input_.Columns().size(), 2u);
  EXPECT_EQ(reader.input_.Columns()[1].name, "name");
  EXPECT_EQ(FieldTypeName(reader.input_.Columns()[1].field), "wstr(255)");
  EXPECT_EQ(reader.ReadAll(), "");
  EXPECT_EQ(reader.rows_.size(), 2u);
  EXPECT_EQ(host::ReadWStr(reader.rows_[0].data(), reader.slots_[1]), u"a\nb");

  // Without a header the first record is data.
  Reader other;
  ASSERT_TRUE(other.Open("3,x\n4,y\n", {"--no-header"}) == "");
  EXPECT_EQ(other.input_.Columns()[1].name, "c2");
  EXPECT_EQ(other.ReadAll(), "");
  EXPECT_EQ(host::ReadWStr(other.rows_[0].data(), other.slots_[0]), u"3");
}

TEST(SortInputTest, ErrorsNameTheLineOfTheRecord) {
  Reader reader;
  ASSERT_TRUE(reader.Open("n,s\n1,\"two\nlines\"\n2,x,extra\n", {"--schema", "n:i4,s:wstr(9)"}) ==
              "");
  EXPECT_EQ(reader.ReadAll(), "<stdin>:4: 3 fields, expected 2");

  Reader wide;
  ASSERT_TRUE(wide.Open("s\n" + std::string(256, 'x') + "\n", {}) == "");
  std::string error = wide.ReadAll();
  EXPECT_EQ(error.substr(0, 29), "<stdin>:2: column 's' (wstr(2");
  EXPECT_NE(error.find("declare a wider type with --schema"), std::string::npos) << error;
  // A malformed record is named by the line where reading stopped.
  Reader quote;
  ASSERT_TRUE(quote.Open("s\n\"a\n\nb\n", {}) == "");
  EXPECT_EQ(quote.ReadAll(), "<stdin>:5: the quoted field opened on line 2 is never closed");
}

TEST(SortInputTest, SchemaAndHeaderMustAgree) {
  Reader reader, names;
  EXPECT_EQ(reader.Open("a,b\n", {"--schema", "a:i4"}),
            "<stdin>:1: the header has 2 columns, --schema 1");
  EXPECT_EQ(names.Open("a,c\n", {"--schema", "a:i4,b:i4"}),
            "<stdin>:1: the header names column 2 'c' where --schema has 'b'");
}

TEST(SortInputTest, FixedRecordsNameTheRecordAndItsBytes) {
  Reader reader;
  ASSERT_TRUE(reader.Open(std::string("ab\0\0xy\0z", 8),
                          {"--format", "fixed", "--fields", "s:str(4)"}) == "");
  EXPECT_EQ(reader.ReadAll(),
            "<stdin>: record 2 (bytes 4 to 7): field 's' (str(4)): bytes other than NUL follow "
            "the first NUL, so the field is not a NUL-padded string");
}

// What generate writes, the sort reads: every type, NULLs and all.
TEST(SortInputTest, GeneratedDataReadsBack) {
  const std::string schema =
      "a:i1,b:ui8,c:r4,d:r8,e:cy,f:date,g:bool,h:decimal,i:numeric(12,3),j:guid,k:bytes(3),"
      "l:str(5),m:wstr(4),n:dbdate,o:dbtime,p:dbtimestamp,q:filetime";
  for (const std::string layout : {"--schema", "--fields"}) {
    const bool fixed = layout == "--fields";
    GenerateOptions generate;
    std::string error;
    std::vector<std::string> args = {layout, schema, "-n", "200"};
    if (!fixed) args.insert(args.end(), {"--nulls", "10"});
    ASSERT_TRUE(ParseGenerateOptions(args, &generate, &error)) << error;
    std::ostringstream out;
    ASSERT_TRUE(Generate(generate, out, &error)) << error;
    Reader reader;
    args = {layout, schema};
    if (fixed) args.insert(args.end(), {"--format", "fixed"});
    ASSERT_TRUE(reader.Open(out.str(), args) == "");
    EXPECT_EQ(reader.ReadAll(), "");
    EXPECT_EQ(reader.rows_.size(), 200u);
  }
}

}  // namespace
}  // namespace tolvarine
