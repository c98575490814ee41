// Create, AddRows, Destroy: call order, arguments, system and host failures.
#include <gtest/gtest.h>

#include "tests/engine/engine_test_support.h"

namespace enginetest {
namespace {

constexpr DWORD kError = ERROR_NOT_ENOUGH_MEMORY;
HRESULT Expected(DWORD error) {
  return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
}

class EngineLifecycleTest : public ::testing::Test {
 protected:
  void TearDown() override {
    plat::ClearFaults();  // Whatever happened, the engine sorts again.
    const Rows rows = MakeRows(500, Pattern::kRandom, 77);
    ExpectSorted(rows, SortSetup{}, RunSort(&engine_, rows, SortSetup{}));
  }
  SortEngine engine_;
  Rows rows_ = MakeRows(400, Pattern::kFewDistinct, 5);
};

TEST_F(EngineLifecycleTest, CreateFailingAtAnyStepReleasesEverything) {
  using plat::FaultSite;
  SortSetup setup;
  setup.threads = 3;
  std::vector<std::pair<FaultSite, uint32_t>> steps = {{FaultSite::kHeapCreate, 0},
                                                       {FaultSite::kPortCreate, 0}};
  for (uint32_t i = 0; i < 4; ++i) steps.emplace_back(FaultSite::kEventCreate, i);
  for (uint32_t i = 0; i <= setup.threads; ++i) steps.emplace_back(FaultSite::kThreadCreate, i);
  for (auto [site, skip] : steps) {
    for (DWORD error : {kError, DWORD{0}}) {  // A failure with last error 0 is still one.
      Configure(&engine_, setup);
      plat::InjectFault(site, skip, error);
      EXPECT_EQ(Expected(error), engine_.Create()) << int(site) << "/" << skip;
      plat::ClearFaults();
      EXPECT_EQ(E_UNEXPECTED, engine_.AddRows(0, 0, nullptr, false));
    }
  }
}

TEST_F(EngineLifecycleTest, RefusesCallsOutOfOrderAndBadArguments) {
  engine_.Destroy();  // Never created: nothing happens.
  std::vector<uint8_t> row(2u << 20);
  EXPECT_EQ(E_UNEXPECTED, engine_.AddRows(1, kBaseWidth, row.data(), false));
  SortSetup setup;
  setup.threads = 129;
  Configure(&engine_, setup);
  EXPECT_EQ(E_INVALIDARG, engine_.Create());
  Configure(&engine_, SortSetup{});
  ASSERT_EQ(S_OK, engine_.Create());
  EXPECT_EQ(E_UNEXPECTED, engine_.Create());
  EXPECT_EQ(E_POINTER, engine_.AddRows(1, kBaseWidth, nullptr, false));
  EXPECT_EQ(E_INVALIDARG, engine_.AddRows(1, (1u << 20) + 1, row.data(), false));
  EXPECT_EQ(E_INVALIDARG, engine_.AddRows(0x10000, 0x10000, row.data(), false));  // 4 GiB.
  EXPECT_EQ(S_OK, engine_.AddRows(1, 1u << 20, row.data(), false));  // Half an extent is fine.
  EXPECT_EQ(E_INVALIDARG, engine_.AddRows(1, kBaseWidth, row.data(), false));  // New width.
  // No output buffer was handed over: the input cannot end.
  EXPECT_EQ(E_UNEXPECTED, engine_.AddRows(0, 1u << 20, nullptr, true));
  engine_.Destroy();
  engine_.Destroy();
}

TEST_F(EngineLifecycleTest, OutputRowRefusedByTheHostFailsTheSort) {
  const HRESULT refused = static_cast<HRESULT>(0xC0047020u);
  SortSetup setup;
  setup.threads = 3;
  setup.batchRows = 100;
  const SortOutcome outcome = RunSort(&engine_, rows_, setup, nullptr, 250, refused);
  EXPECT_EQ(refused, outcome.result);
  EXPECT_EQ(250u, outcome.ids.size());
  EXPECT_EQ(1, outcome.closes);  // The host does not wait for ever.
}

TEST_F(EngineLifecycleTest, AllocationFailuresAreReported) {
  SortSetup setup;
  setup.eliminateDuplicates = true;
  const SortOutcome outcome = RunSort(&engine_, rows_, setup, [&](SortEngine* e) {
    // A buffer's block: reported, nothing kept of the buffer.
    for (DWORD error : {kError, DWORD{0}}) {
      plat::InjectFault(plat::FaultSite::kHeapAlloc, 0, error);
      EXPECT_EQ(error ? Expected(error) : E_OUTOFMEMORY, AddAll(e, rows_));
    }
    EXPECT_EQ(S_OK, AddAll(e, rows_));
    // After the input, the only allocation is the final merge's holding row.
    plat::InjectFault(plat::FaultSite::kHeapAlloc, 0, kError);
    return e->AddRows(0, kBaseWidth, nullptr, true);
  });
  EXPECT_EQ(E_OUTOFMEMORY, outcome.result);
  EXPECT_EQ(0u, outcome.ids.size());
  EXPECT_EQ(1, outcome.closes);
}

// The sixteenth batch's merge failing to get entries is given up, or without a
// row block moves entries only: no row lost, the budget exact.
TEST_F(EngineLifecycleTest, MergesWithoutMemoryLoseNothingAndKeepTheBudgetExact) {
  SortSetup setup;
  setup.threads = 1;
  const Rows rows = MakeRows(1600, Pattern::kRandom, 9);
  const uint64_t stored = rows.Count() * (rows.width + sizeof(SortEntry));
  for (auto [skip, runsLeft] : {std::pair{2u, 16u}, {3u, 1u}, {99u, 1u}}) {
    const SortOutcome outcome = RunSort(&engine_, rows, setup, [&](SortEngine* e) {
      for (size_t i = 0; i < 15; ++i)
        EXPECT_EQ(S_OK, AddAll(e, Slice(rows, i * 100, i * 100 + 100)));
      SortEngineTestAccess::WaitUntilSorted(e);
      plat::InjectFault(plat::FaultSite::kHeapAlloc, skip, kError);
      EXPECT_EQ(S_OK, AddAll(e, Slice(rows, 1500, 1600)));
      SortEngineTestAccess::WaitUntilSorted(e);
      plat::ClearFaults();
      EXPECT_EQ(runsLeft, SortEngineTestAccess::MemoryRunCount(e)) << skip;
      EXPECT_EQ(stored, SortEngineTestAccess::BytesInMemory(e)) << skip;
      return e->AddRows(0, rows.width, nullptr, true);
    });
    ExpectSorted(rows, setup, outcome);
  }
}

TEST_F(EngineLifecycleTest, WorkItemsThatCannotBePosted) {
  const Rows half = Slice(rows_, 0, 200);
  const SortSetup setup;
  auto post = [&](uint32_t skip, uint32_t times, DWORD error, bool end) {
    return RunSort(&engine_, rows_, setup, [&](SortEngine* e) {
      plat::InjectFault(plat::FaultSite::kPortPost, skip, error, times);
      HRESULT hr = AddAll(e, half, end);
      plat::ClearFaults();
      if (end) return hr;
      const HRESULT rest = AddAll(e, Slice(rows_, 200, 400), true);
      return FAILED(hr) ? hr : rest;
    });
  };
  // A buffer's item (the first post): reported, the buffer not kept.
  for (DWORD error : {kError, DWORD{0}}) {
    const SortOutcome outcome = post(0, 1, error, false);
    EXPECT_EQ(Expected(error), outcome.result);
    EXPECT_EQ(200u, outcome.ids.size());
  }
  // The end of input: reported, and Destroy still ends everything.
  EXPECT_EQ(HRESULT_FROM_WIN32(kError), post(1, 1, kError, true).result);
  // Workers whose posts fail do the work themselves; threads end regardless.
  const SortOutcome outcome = RunSort(&engine_, rows_, setup, [&](SortEngine* e) {
    plat::InjectFault(plat::FaultSite::kPortPost, 2, kError, 1000000);
    return AddAll(e, half, true);
  });
  plat::ClearFaults();
  ExpectSorted(half, setup, outcome);
}

}  // namespace
}  // namespace enginetest
