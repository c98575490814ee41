// The scratch area list and scratch file names: parsing the property text,
// which mount roots are kept, round robin over the areas, and names taken.
#include <fstream>

#include "platform/file_system.h"
#include "platform/thread.h"
#include "scratch_test_support.h"

namespace scratch_test {
namespace {

using Areas = std::vector<std::u16string>;

TEST(ScratchAreas, EmptyTextMeansTheTemporaryDirectory) {
  std::u16string temp;
  ASSERT_TRUE(plat::GetTempPath(&temp));
  ASSERT_TRUE(temp.back() == u'/' || temp.back() == u'\\');  // The backend's separator.
  for (const char16_t* text : {static_cast<const char16_t*>(nullptr), u""}) {
    ScratchAreaList list;
    ASSERT_EQ(ParseScratchAreas(&list, text), S_OK);
    EXPECT_EQ(list.Areas, Areas{temp});
  }
}

TEST(ScratchAreas, PiecesAreKeptAsWrittenAndAppended) {
  ScratchAreaList list;
  ASSERT_EQ(ParseScratchAreas(&list, u"a;;b;"), S_OK);
  EXPECT_EQ(list.Areas, (Areas{u"a", u"b"}));
  ASSERT_EQ(ParseScratchAreas(&list, u"; spaced /;/no/such/dir/"), S_OK);
  EXPECT_EQ(list.Areas, (Areas{u"a", u"b", u" spaced /", u"/no/such/dir/"}));
  EXPECT_EQ(list.NextArea, 4u);
  EXPECT_EQ(ParseScratchAreas(&list, u";;;"), E_INVALIDARG);
  EXPECT_EQ(list.Areas.size(), 4u);
}

// The names that a wrong turn would meet are taken beforehand: a file made in
// the wrong area would skip a number.
TEST(ScratchAreas, FilesGoToTheAreasInTurn) {
  TempDir first, second;
  for (int n : {2, 4, 6}) fs::create_directory(first.path() / ("tolvarine" + std::to_string(n)));
  for (int n : {1, 3, 5}) fs::create_directory(second.path() / ("tolvarine" + std::to_string(n)));
  ScratchAreaList list;
  ASSERT_EQ(ParseScratchAreas(&list, (first.u16() + u";" + second.u16()).c_str()), S_OK);
  PatternRun run(10, 8);
  for (uint32_t k = 0; k < 6; ++k) {
    ScratchReader* reader = nullptr;
    ASSERT_EQ(WriteRun(&list, run, &reader), S_OK);
    CloseScratchReader(reader);
    EXPECT_EQ(list.NextFileNumber, k + 2);
    EXPECT_EQ(list.NextArea, k % 2 + 1);
  }
  EXPECT_EQ(first.Count() + second.Count(), 6u);
}

TEST(ScratchFileNames, TakenNamesAreSkipped) {
  TempDir area;
  fs::create_directory(area.path() / "tolvarine1");
  std::ofstream(area.path() / "tolvarine2") << "in use";
  ScratchAreaList list;
  std::u16string name;
  const std::u16string withSlash = area.u16() + u"/";
  ASSERT_EQ(MakeScratchFileName(&list, withSlash, &name), S_OK);
  EXPECT_EQ(name, withSlash + u"/tolvarine3");
  EXPECT_EQ(list.NextFileNumber, 4u);
  EXPECT_EQ(fs::file_size(area.path() / "tolvarine3"), 0u);
  EXPECT_EQ(fs::file_size(area.path() / "tolvarine2"), 6u);

  list.NextFileNumber = UINT32_MAX;
  ASSERT_EQ(MakeScratchFileName(&list, area.u16(), &name), S_OK);
  EXPECT_EQ(name, area.u16() + u"/tolvarine4294967295");
  EXPECT_EQ(list.NextFileNumber, 0u);
  EXPECT_EQ(MakeScratchFileName(&list, std::u16string(u"/\0x", 3), &name),
            HRESULT_FROM_WIN32(ERROR_INVALID_NAME));
  EXPECT_TRUE(name.empty());
}

}  // namespace
}  // namespace scratch_test
