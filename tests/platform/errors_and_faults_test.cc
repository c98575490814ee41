#include <gtest/gtest.h>

#include <atomic>
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

TEST(LastError, IsPerThreadAndNeverGivesSOk) {
  // Both threads set and read theirs between start and join (system calls that may set it).
  std::atomic<int> step{0};
  DWORD seenByOther = 99;
  std::thread other([&] {
    while (step.load() != 1) std::this_thread::yield();
    seenByOther = GetLastError();
    SetLastError(ERROR_DISK_FULL);
    step = 2;
  });
  SetLastError(ERROR_ACCESS_DENIED);
  step = 1;
  while (step.load() != 2) std::this_thread::yield();
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(HResultFromLastError(), static_cast<HRESULT>(0x80070005u));
  other.join();
  EXPECT_NE(seenByOther, ERROR_ACCESS_DENIED);
  SetLastError(0);
  EXPECT_EQ(HResultFromLastError(), E_FAIL);
  SetLastError(0x10000);  // Low 16 bits zero.
  EXPECT_TRUE(FAILED(HResultFromLastError()));
}

// Each site fails with the armed error, and only on the chosen calls (error 0 still fails).
TEST(FaultInjection, FiresOnTheChosenCallsOfEverySiteWithTheArmedError) {
  InjectFault(FaultSite::kHeapCreate, 1, ERROR_SUCCESS, 2);
  for (bool expectFailure : {false, true, true, false}) {
    SetLastError(ERROR_BUSY);
    HeapHandle heap = HeapCreate();
    EXPECT_EQ(heap == nullptr, expectFailure);
    EXPECT_TRUE(heap != nullptr || HResultFromLastError() == E_FAIL);
    HeapDestroy(heap);
  }

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
  ClearFaults();
}

}  // namespace
}  // namespace plat
