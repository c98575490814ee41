#include "tools/columns/field_list.h"

#include <gtest/gtest.h>

#include "tools/columns/column_model.h"

namespace tolvarine {
namespace {

TEST(FieldListTest, ParsesEveryTypeIntoItsColumnModel) {
  std::vector<FieldSpec> fields;
  std::string error;
  ASSERT_TRUE(ParseFieldList(
      " id:I4 , price:numeric( 10 , 2 ),a:b:str(5),w:wstr(4000),raw:bytes(8000),t:dbtimestamp",
      &fields, &error))
      << error;
  ASSERT_EQ(fields.size(), 6u);
  EXPECT_EQ(fields[2].name, "a:b");  // The type follows the last ':'.
  std::vector<ColumnModel> columns = MakeColumnModels(fields);
  EXPECT_EQ(columns[1].precision * 100 + columns[1].scale, 1002);
  EXPECT_EQ(columns[2].valueBytes, 6u);  // A NUL after the widest value.
  EXPECT_EQ(columns[3].valueBytes, 8002u);
  EXPECT_EQ(RecordWidth(columns), 4u + 19 + 5 + 8000 + 8000 + 16);
  for (const FieldSpec& field : fields) {
    FieldType again;
    ASSERT_TRUE(ParseFieldType(FieldTypeName(field.type), &again, &error));
    EXPECT_EQ(FieldTypeName(again), FieldTypeName(field.type));
  }
}

TEST(FieldListTest, RejectsWhatItCannotRepresentWithAClearReason) {
  struct Case {
    const char* list;
    const char* reason;
  };
  const Case cases[] = {
      {"id", "entry 'id' is not NAME:TYPE"},
      {"a:i4,a:i8", "column name 'a' appears twice"},
      {"a:ntext", "unsupported type 'ntext'; the types are: i1 "},
      {"a:wstr(4001)", "from 1 to 4000"},
      {"a:numeric(5,6)", "scale s from 0 to p"},
      {"a:numeric(5,2", "is malformed"},
  };
  for (const Case& c : cases) {
    std::vector<FieldSpec> fields;
    std::string error;
    EXPECT_FALSE(ParseFieldList(c.list, &fields, &error)) << c.list;
    EXPECT_NE(error.find(c.reason), std::string::npos) << c.list << " -> " << error;
  }
}

}  // namespace
}  // namespace tolvarine
