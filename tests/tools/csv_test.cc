#include <gtest/gtest.h>

#include <optional>
#include <sstream>

#include "tools/formats/csv_reader.h"
#include "tools/formats/csv_writer.h"
#include "tools/text/random_source.h"

namespace tolvarine {
namespace {

struct Record {
  std::vector<std::string> texts;
  std::vector<bool> quoted;
  uint64_t line;
};

// Every record of `text`; the reader's error, if any, in *error.
std::vector<Record> ReadAll(const std::string& text, std::string* error = nullptr,
                            char delimiter = ',') {
  std::istringstream in(text);
  CsvReader reader(in, delimiter);
  std::vector<CsvField> fields;
  std::vector<Record> records;
  for (;;) {
    CsvReader::Status status = reader.Next(&fields);
    if (status == CsvReader::Status::kEnd) break;
    if (status == CsvReader::Status::kError) {
      if (error) *error = "line " + std::to_string(reader.errorLine()) + ": " + reader.error();
      EXPECT_EQ(reader.Next(&fields), CsvReader::Status::kError);  // Stays failed.
      break;
    }
    Record record{{}, {}, reader.recordLine()};
    for (const CsvField& field : fields) {
      record.texts.push_back(field.text);
      record.quoted.push_back(field.quoted);
    }
    records.push_back(record);
  }
  return records;
}

using Texts = std::vector<std::string>;

TEST(CsvReaderTest, LineEndingsEmptyLinesAndTheEndOfInput) {
  // No final line break; CRLF and LF mixed; a lone CR is data.
  auto records = ReadAll("x\r\ny\na\rb");
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[2].texts, (Texts{"a\rb"}));
  // An empty line is one empty (NULL) field; a final line break adds no record.
  records = ReadAll("a\n\nb\n");
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[1].texts, (Texts{""}));
  EXPECT_FALSE(records[1].quoted[0]);
  EXPECT_EQ(records[2].line, 3u);
  EXPECT_TRUE(ReadAll("").empty());
  // A byte order mark is skipped, but only a whole one.
  EXPECT_EQ(ReadAll("\xEF\xBB\xBFid,\xEF\xBB\xBF\n")[0].texts, (Texts{"id", "\xEF\xBB\xBF"}));
  EXPECT_EQ(ReadAll("\xEF\xBC\x81")[0].texts, (Texts{"\xEF\xBC\x81"}));
}

TEST(CsvReaderTest, ReportsMalformedInputWithItsLine) {
  std::string error;
  ReadAll("a,b\n\"open,\nstill open\n", &error);
  EXPECT_EQ(error, "line 4: the quoted field opened on line 2 is never closed");
  ReadAll("a\n\"x\"y,z\n", &error);
  EXPECT_EQ(error.substr(0, 47), "line 2: unexpected character after the closing ");
  std::istringstream in("\"" + std::string(100, 'x') + "\"\n");
  CsvReader small(in, ',', 50);
  std::vector<CsvField> fields;
  EXPECT_EQ(small.Next(&fields), CsvReader::Status::kError);
  EXPECT_EQ(small.error(), "record longer than 50 bytes");
  EXPECT_EQ(small.errorLine(), 1u);
}

// Records of fields, std::nullopt for NULL, as the writer writes them.
using Fields = std::vector<std::optional<std::string>>;
std::string Written(const std::vector<Fields>& records, char delimiter = ',') {
  std::ostringstream out;
  CsvWriter writer(out, delimiter);
  for (const Fields& record : records) {
    for (const auto& field : record) field ? writer.Field(*field) : writer.Null();
    writer.EndRecord();
  }
  EXPECT_TRUE(writer.Flush());
  return out.str();
}

TEST(CsvWriterTest, QuotesOnlyWhatNeedsIt) {
  EXPECT_EQ(Written({{"plain", "a,b", "q\"q", "", std::nullopt, " spaced "}, {std::nullopt}, {""}}),
            "plain,\"a,b\",\"q\"\"q\",\"\",, spaced \n\n\"\"\n");
}

// Random awkward fields, NULLs and empty strings survive a write and a read, any delimiter.
TEST(CsvWriterTest, WhatIsWrittenReadsBackTheSame) {
  RandomSource random(5);
  const std::string alphabet = std::string("ab,;\t\"\r\n \xEF\xBB\xBF", 13);
  for (char delimiter : {',', ';', '\t'}) {
    std::vector<Fields> expected(200);
    for (Fields& record : expected) {
      for (size_t f = 1 + random.Below(4); f > 0; --f) {
        if (random.Below(5) == 0) {
          record.emplace_back();
          continue;
        }
        std::string text;
        for (size_t n = random.Below(6); n > 0; --n) {
          text.push_back(alphabet[random.Below(alphabet.size())]);
        }
        record.push_back(text);
      }
    }
    std::string error;
    auto records = ReadAll(Written(expected, delimiter), &error, delimiter);
    ASSERT_EQ(error, "");
    ASSERT_EQ(records.size(), expected.size());
    for (size_t r = 0; r < records.size(); ++r) {
      ASSERT_EQ(records[r].texts.size(), expected[r].size()) << r;
      for (size_t f = 0; f < expected[r].size(); ++f) {
        EXPECT_EQ(records[r].texts[f], expected[r][f].value_or(""));
        // An empty unquoted field is NULL; anything else is a value.
        EXPECT_EQ(records[r].texts[f].empty() && !records[r].quoted[f], !expected[r][f]);
      }
    }
  }
}

}  // namespace
}  // namespace tolvarine
