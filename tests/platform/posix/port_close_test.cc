// Closing a port wakes its blocked waiters: a guarantee of the POSIX port
// (Wine's ports keep their waiters asleep, so nothing may rely on it there).
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/completion_port.h"
#include "platform/posix/port_waiters.h"

namespace plat {
namespace {

TEST(CompletionPort, CloseWakesEveryBlockedWaiterWithAFailure) {
  PortHandle port = CreateCompletionPort(3);
  PostCompletion(port, 0, 6, nullptr);  // Taken by one waiter, which then waits again.
  std::atomic<int> abandoned{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 4; ++i) {
    waiters.emplace_back([&] {
      uintptr_t k;
      while (GetCompletion(port, nullptr, &k, nullptr)) {
      }
      if (GetLastError() == ERROR_ABANDONED_WAIT_0) ++abandoned;
    });
  }
  while (WaitersInside(port) < 4) std::this_thread::yield();
  CloseCompletionPort(port);
  for (auto& waiter : waiters) waiter.join();
  EXPECT_EQ(abandoned, 4);
}

}  // namespace
}  // namespace plat
