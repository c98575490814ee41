#include "platform/sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace plat {
namespace {

// Long enough never to expire in a correct run: a lost wake fails, not hangs.
constexpr uint32_t kGenerousMs = 20000;

struct Event {
  explicit Event(bool manual = false) : handle(CreateEvent(manual, false)) {}
  ~Event() { CloseEvent(handle); }
  Event(const Event&) = delete;
  EventHandle handle;
};

TEST(CriticalSection, IsReentrantAndExcludesOtherThreads) {
  CriticalSection cs;
  int counter = 0;
  auto work = [&] {
    for (int i = 0; i < 5000; ++i) {
      Lock outer(cs);
      Lock inner(cs);
      ++counter;
    }
  };
  std::thread a(work), b(work);
  a.join();
  b.join();
  EXPECT_EQ(counter, 10000);
}

// The owner is cleared only by the Leave that frees the lock, and a thread
// never takes another's hold for its own.
TEST(CriticalSection, AssertHeldPassesOnlyInTheOwningThread) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  CriticalSection cs;
  EXPECT_DEATH(cs.AssertHeld(), "");
  {
    Lock outer(cs);
    { Lock inner(cs); }
    cs.AssertHeld();
  }
  EXPECT_DEATH(cs.AssertHeld(), "");

  Event release;
  std::atomic<bool> holding{false};
  std::thread holder([&] {
    Lock lock(cs);
    holding = true;
    WaitForEvent(release.handle, kGenerousMs);
  });
  while (!holding) std::this_thread::yield();
  EXPECT_DEATH(cs.AssertHeld(), "");
  SetEvent(release.handle);
  holder.join();
}

// Threads that are all registered as waiters on `target` once constructed:
// each signals its own ready event atomically with the start of its wait.
struct BlockedWaiters {
  BlockedWaiters(EventHandle target, int count) : ready(count) {
    for (int i = 0; i < count; ++i) {
      threads.emplace_back([this, target, i] {
        if (SignalAndWait(ready[i].handle, target, kGenerousMs) == WaitResult::kSignaled) {
          ++released;
        }
      });
    }
    for (auto& r : ready) EXPECT_EQ(WaitForEvent(r.handle, kGenerousMs), WaitResult::kSignaled);
  }
  ~BlockedWaiters() {
    for (auto& thread : threads) thread.join();
  }
  std::atomic<int> released{0};
  std::vector<Event> ready;
  std::vector<std::thread> threads;
};

TEST(Event, AutoResetReleasesExactlyOneBlockedWaiterPerSet) {
  Event event;
  EXPECT_EQ(WaitForEvent(event.handle, 0), WaitResult::kTimeout);
  EXPECT_EQ(GetLastError(), WAIT_TIMEOUT);
  {
    BlockedWaiters waiters(event.handle, 4);
    for (int i = 0; i < 3; ++i) SetEvent(event.handle);  // Faster than any waiter wakes.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (waiters.released < 3 && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::yield();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(waiters.released, 3);
    EXPECT_EQ(WaitForEvent(event.handle, 0), WaitResult::kTimeout);  // Nothing left over.
    SetEvent(event.handle);
  }
  SetEvent(event.handle);  // With nobody waiting, the event stays set for one wait.
  EXPECT_EQ(WaitForEvent(event.handle, 0), WaitResult::kSignaled);
  EXPECT_EQ(WaitForEvent(event.handle, 0), WaitResult::kTimeout);
}

TEST(Event, ManualSetReleasesEveryWaiterEvenIfResetAtOnce) {
  Event event(true);
  {
    BlockedWaiters waiters(event.handle, 3);
    SetEvent(event.handle);
    ResetEvent(event.handle);
  }
  EXPECT_EQ(WaitForEvent(event.handle, 0), WaitResult::kTimeout);
  SetEvent(event.handle);
  EXPECT_EQ(WaitForEvent(event.handle, 0), WaitResult::kSignaled);
  EXPECT_EQ(WaitForEvent(event.handle, 0), WaitResult::kSignaled);
}

TEST(Event, SignalAndWaitPingPongNeverMissesAWake) {
  constexpr int kRounds = 2000;
  Event ping, pong;
  std::thread responder([&] {
    ASSERT_EQ(WaitForEvent(ping.handle, kGenerousMs), WaitResult::kSignaled);
    for (int i = 1; i < kRounds; ++i) {
      ASSERT_EQ(SignalAndWait(pong.handle, ping.handle, kGenerousMs), WaitResult::kSignaled);
    }
    SetEvent(pong.handle);
  });
  for (int i = 0; i < kRounds; ++i) {
    ASSERT_EQ(SignalAndWait(ping.handle, pong.handle, kGenerousMs), WaitResult::kSignaled) << i;
  }
  responder.join();
  EXPECT_EQ(SignalAndWait(nullptr, ping.handle), WaitResult::kFailed);
}

}  // namespace
}  // namespace plat
