// Whole sorts in memory through the engine's public operations.
#include <gtest/gtest.h>

#include "tests/engine/engine_test_support.h"

namespace enginetest {
namespace {

class EngineThreadsTest : public ::testing::TestWithParam<uint32_t> {};

// Every shape, in buffers of 1 to 3000 rows; with duplicates dropped over
// three keys (one descending) and NULL values in half the runs. One engine
// runs them all, each with a new row width.
TEST_P(EngineThreadsTest, SortsEveryShapeInBuffersOfEverySize) {
  const size_t batchSizes[] = {1, 7, 250, 3000};
  SortEngine engine;
  for (int shape = 0; shape < 6; ++shape) {
    SortSetup setup;
    setup.threads = GetParam();
    setup.batchRows = batchSizes[(shape + GetParam()) % 4];
    setup.endWithRows = shape % 2 == 0;
    setup.eliminateDuplicates = shape % 3 == 2;
    setup.k2Position = setup.eliminateDuplicates ? -2 : 0;
    setup.bytesPosition = setup.eliminateDuplicates ? 3 : 0;
    setup.padding = GetParam() * 3 + shape * 5;
    const Rows rows = MakeRows(setup.batchRows == 1 ? 300 : 1500, Pattern(shape), shape,
                               setup.padding, shape % 2 ? 9 : 0);
    ExpectSorted(rows, setup, RunSort(&engine, rows, setup));
  }
}

INSTANTIATE_TEST_SUITE_P(ThreadCounts, EngineThreadsTest, ::testing::Range(1u, 9u));

TEST(EngineSortTest, EdgeCasesOfDuplicateEliminationAndEmptyInput) {
  SortEngine engine;
  SortSetup setup;
  setup.eliminateDuplicates = true;
  setup.batchRows = 64;
  const Rows equal = MakeRows(1000, Pattern::kAllEqual, 1);
  const Rows allNull = MakeRows(1000, Pattern::kRandom, 2, 0, 1);
  for (const Rows* rows : {&equal, &allNull}) {
    const SortOutcome outcome = RunSort(&engine, *rows, setup);
    ExpectSorted(*rows, setup, outcome);
    EXPECT_EQ(1u, outcome.ids.size());
  }
  // The only buffer is empty: nothing out, the sink still opened and closed.
  const SortOutcome empty = RunSort(&engine, MakeRows(0, Pattern::kRandom, 3), setup);
  EXPECT_EQ(S_OK, empty.result);
  EXPECT_TRUE(empty.ids.empty());
  EXPECT_EQ(1, empty.opens);
  EXPECT_EQ(1, empty.closes);
}

}  // namespace
}  // namespace enginetest
