// The scratch area list and file names: parsing and names taken.
#include <fstream>

#include "platform/thread.h"
#include "scratch_test_support.h"

namespace scratch_test {
namespace {

using Areas = std::vector<std::u16string>;

// Empty text is the temporary directory; pieces are kept as written, appended.
TEST(ScratchAreas, ParsesTheText) {
  std::u16string temp;
  ASSERT_TRUE(plat::GetTempPath(&temp));
  ScratchAreaList list;
  ASSERT_EQ(ParseScratchAreas(&list, nullptr), S_OK);
  EXPECT_EQ(list.Areas, Areas{temp});
  ASSERT_EQ(ParseScratchAreas(&list, u"a;; spaced /;"), S_OK);
  EXPECT_EQ(list.Areas, (Areas{temp, u"a", u" spaced /"}));
  EXPECT_EQ(list.NextArea, 3u);
  EXPECT_EQ(ParseScratchAreas(&list, u";;;"), E_INVALIDARG);
  EXPECT_EQ(list.Areas.size(), 3u);
}

// Taken names are skipped, never overwritten; the number wraps.
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
  EXPECT_EQ(fs::file_size(area.path() / "tolvarine2"), 6u);

  list.NextFileNumber = UINT32_MAX;
  ASSERT_EQ(MakeScratchFileName(&list, area.u16(), &name), S_OK);
  EXPECT_EQ(name, area.u16() + u"/tolvarine4294967295");
  EXPECT_EQ(list.NextFileNumber, 0u);
}

}  // namespace
}  // namespace scratch_test
