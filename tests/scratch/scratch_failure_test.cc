// Writing and reading runs when something goes wrong: refused arguments,
// unusable areas, the end of input, a full disk and injected system failures.
// Whatever happens, no file may be left in the area.
#include <atomic>

#include "scratch/scratch_reader_state.h"
#include "scratch_test_support.h"

namespace scratch_test {
namespace {

using ScratchFailure = ScratchFailureTest;

TEST_P(ScratchFailure, RefusedRunsReserveNoName) {
  EXPECT_EQ(WriteRun(&list_, PatternRun(3, ScratchExtentSize / 2 + 1), &reader_), E_INVALIDARG);
  EXPECT_EQ(WriteRun(&list_, PatternRun(3, 0), &reader_), E_INVALIDARG);
  ScratchAreaList noAreas;
  EXPECT_EQ(WriteRun(&noAreas, run_, &reader_), E_INVALIDARG);
  EXPECT_EQ(list_.NextFileNumber, 1u);
}

TEST_P(ScratchFailure, ReservingOpeningOrBufferingFails) {
  plat::InjectFault(plat::FaultSite::kFileCreate, 0, ERROR_ACCESS_DENIED);
  EXPECT_EQ(WriteRun(&list_, run_, &reader_), HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
  EXPECT_EQ(list_.NextFileNumber, 2u);
  EXPECT_EQ(list_.NextArea, 0u) << "the area is tried again for the next file";

  // After the name is reserved: the reserved name must go too.
  plat::InjectFault(plat::FaultSite::kFileCreate, 1, ERROR_SHARING_VIOLATION);
  EXPECT_EQ(WriteRun(&list_, run_, &reader_), HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(area_.Count(), 0u);
  plat::InjectFault(plat::FaultSite::kPageAlloc, 1, ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(WriteRun(&list_, run_, &reader_), HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY));
  EXPECT_EQ(reader_, nullptr);
}

TEST_P(ScratchFailure, AnyFailedExtentWriteFailsTheRun) {
  for (uint32_t extent = 0; extent < 3; ++extent) {
    plat::InjectFault(plat::FaultSite::kFileWrite, extent, ERROR_IO_DEVICE);
    EXPECT_EQ(WriteRun(&list_, run_, &reader_), HRESULT_FROM_WIN32(ERROR_IO_DEVICE)) << extent;
    EXPECT_EQ(reader_, nullptr);
    EXPECT_EQ(area_.Count(), 0u);
  }
  // A failure that leaves no error number is still a failure.
  plat::InjectFault(plat::FaultSite::kFileWrite, 1, ERROR_SUCCESS);
  EXPECT_TRUE(FAILED(WriteRun(&list_, run_, &reader_)));
}

TEST_P(ScratchFailure, FailedReadIsReportedWhereItsExtentIsNeeded) {
  ASSERT_EQ(WriteRun(&list_, run_, &reader_), S_OK);
  plat::InjectFault(plat::FaultSite::kFileRead, 1, ERROR_IO_DEVICE);  // The second extent.
  ASSERT_EQ(StartScratchRead(reader_), S_OK);
  uint32_t row = 0;
  EXPECT_EQ(ReadOn(&row), HRESULT_FROM_WIN32(ERROR_IO_DEVICE));
  EXPECT_EQ(row, ScratchExtentSize / run_.width) << "the row split into the second extent";
  CloseScratchReader(reader_);

  ASSERT_EQ(WriteRun(&list_, run_, &reader_), S_OK);
  plat::InjectFault(plat::FaultSite::kFileRead, 0, ERROR_IO_DEVICE);
  ASSERT_EQ(StartScratchRead(reader_), S_OK);
  EXPECT_EQ(NextScratchRow(reader_), HRESULT_FROM_WIN32(ERROR_IO_DEVICE));
  CloseScratchReader(reader_);
}

INSTANTIATE_TEST_SUITE_P(Engines, ScratchFailure, AllEngines(), EngineName);

}  // namespace
}  // namespace scratch_test
