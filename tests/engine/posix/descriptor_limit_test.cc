#include <sys/resource.h>

#include "tests/engine/engine_test_support.h"

namespace enginetest {
namespace {

constexpr rlim_t kDescriptorLimit = 64;

// A hundred spills under a descriptor limit (RLIMIT_NOFILE) that fits fewer
// files: disk runs merged while input arrives keep within it.
TEST_F(DiskRunMergeTest, ManySpillsStayWithinFewDescriptors) {
  rlimit saved{};
  ASSERT_EQ(0, getrlimit(RLIMIT_NOFILE, &saved));
  rlimit low = saved;
  low.rlim_cur = std::min<rlim_t>(saved.rlim_cur, kDescriptorLimit);
  ASSERT_EQ(0, setrlimit(RLIMIT_NOFILE, &low));
  const SortSetup setup = SmallBudget(64u << 10, true);
  const Rows rows = MakeRows((100u << 16) / setup.Width(), Pattern::kRandom, 33, kPadding);
  uint64_t spilled = 0;
  const SortOutcome outcome = RunSort(&engine_, rows, setup, [&](SortEngine* e) {
    const HRESULT hr = Feed(e, rows, setup, false);
    spilled = SortEngineTestAccess::BytesSpilled(e);
    return SUCCEEDED(hr) ? e->AddRows(0, rows.width, nullptr, true) : hr;
  });
  setrlimit(RLIMIT_NOFILE, &saved);
  ExpectSorted(rows, setup, outcome);
  EXPECT_GT(spilled, kDescriptorLimit * (64u << 10)) << "too few runs on disk";
}

}  // namespace
}  // namespace enginetest
