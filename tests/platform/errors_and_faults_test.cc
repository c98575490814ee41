#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <thread>
#include <utility>

#include "platform/com_types.h"
#include "platform/completion_port.h"
#include "platform/fault_injection.h"
#include "platform/heap.h"
#include "platform/sync.h"
#include "platform/thread.h"

namespace plat {
namespace {

TEST(LastError, ErrnoNeverMapsToSuccess) {
  for (int err = -1; err < 200; ++err) EXPECT_NE(Win32ErrorFromErrno(err), 0u) << err;
  EXPECT_EQ(SetLastErrorFromErrno(ENOSPC), ERROR_DISK_FULL);
  EXPECT_EQ(GetLastError(), ERROR_DISK_FULL);
}

TEST(LastError, IsPerThreadAndNeverGivesSOk) {
  SetLastError(ERROR_ACCESS_DENIED);
  EXPECT_EQ(HResultFromLastError(), static_cast<HRESULT>(0x80070005u));
  std::thread([] { EXPECT_EQ(GetLastError(), 0u); }).join();
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  SetLastError(0);
  EXPECT_EQ(HResultFromLastError(), E_FAIL);
  SetLastError(0x10000);  // Low 16 bits zero.
  EXPECT_TRUE(FAILED(HResultFromLastError()));
}

class FaultInjection : public ::testing::Test {
 protected:
  void TearDown() override { ClearFaults(); }
};

TEST_F(FaultInjection, FiresOnTheChosenCallsOnlyEvenWithErrorZero) {
  InjectFault(FaultSite::kHeapCreate, 1, ERROR_SUCCESS, 2);
  for (bool expectFailure : {false, true, true, false}) {
    SetLastError(ERROR_BUSY);
    HeapHandle heap = HeapCreate();
    EXPECT_EQ(heap == nullptr, expectFailure);
    if (heap == nullptr) {
      EXPECT_EQ(HResultFromLastError(), E_FAIL);
    }
    HeapDestroy(heap);
  }
}

TEST_F(FaultInjection, EverySiteReportsTheArmedError) {
  HeapHandle heap = HeapCreate();
  PortHandle port = CreateCompletionPort(1);
  const std::pair<FaultSite, std::function<bool()>> sites[] = {
      {FaultSite::kHeapCreate, [] { return HeapCreate() == nullptr; }},
      {FaultSite::kHeapAlloc, [&] { return HeapAlloc(heap, 8) == nullptr; }},
      {FaultSite::kPageAlloc, [] { return PageAlloc(4096) == nullptr; }},
      {FaultSite::kPortCreate, [] { return CreateCompletionPort(1) == nullptr; }},
      {FaultSite::kPortPost, [&] { return !PostCompletion(port, 0, 1, nullptr); }},
      {FaultSite::kEventCreate, [] { return CreateEvent(false, false) == nullptr; }},
      {FaultSite::kThreadCreate,
       [] { return CreateThread([](void*) -> uint32_t { return 0; }, nullptr) == nullptr; }},
  };
  for (const auto& [site, callFails] : sites) {
    InjectFault(site, 0, ERROR_DISK_FULL);
    EXPECT_TRUE(callFails()) << static_cast<int>(site);
    EXPECT_EQ(GetLastError(), ERROR_DISK_FULL);
  }
  uintptr_t key;
  EXPECT_FALSE(GetCompletion(port, nullptr, &key, nullptr, 0));  // The failed post left nothing.
  CloseCompletionPort(port);
  HeapDestroy(heap);
}

}  // namespace
}  // namespace plat
