#include "platform/thread.h"

#include <gtest/gtest.h>
#include <sched.h>

#include <atomic>
#include <cstdlib>
#include <string>

namespace plat {
namespace {

TEST(Thread, ReportsItsExitCodeToEveryJoinAndMayBeClosedWhileRunning) {
  uint32_t value = 42;
  ThreadHandle thread = CreateThread(
      [](void* argument) -> uint32_t { return *static_cast<uint32_t*>(argument); }, &value);
  ASSERT_NE(thread, nullptr);
  uint32_t first = 0, second = 0;
  ASSERT_TRUE(JoinThread(thread, &first));
  ASSERT_TRUE(JoinThread(thread, &second));
  EXPECT_EQ(first, 42u);
  EXPECT_EQ(second, 42u);
  CloseThread(thread);

  static std::atomic<bool> finished{false};
  CloseThread(CreateThread([](void*) -> uint32_t { return finished = true; }, nullptr));
  while (!finished) sched_yield();
}

}  // namespace
}  // namespace plat
