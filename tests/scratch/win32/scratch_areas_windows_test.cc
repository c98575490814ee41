// Areas that cannot hold files, as Windows reports them: a missing folder is a
// missing path (POSIX: a missing file); a file in its place fails the run.
#include <fstream>

#include "tests/scratch/scratch_test_support.h"

namespace scratch_test {
namespace {

TEST(ScratchAreasOnWindows, AreasThatCannotHoldFiles) {
  TempDir area;
  std::ofstream(area.path() / "file") << "in the way";
  ScratchAreaList list;
  ASSERT_EQ(ParseScratchAreas(&list, (area.u16() + u"/missing;" + area.u16() + u"/file").c_str()),
            S_OK);
  const PatternRun run(100, 8);
  ScratchReader* reader = nullptr;
  EXPECT_EQ(WriteRun(&list, run, &reader), HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
  list.NextArea = 1;
  EXPECT_TRUE(FAILED(WriteRun(&list, run, &reader)));
  EXPECT_EQ(reader, nullptr);
  EXPECT_EQ(area.Count(), 1u);
}

}  // namespace
}  // namespace scratch_test
