#include "platform/sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/completion_port.h"
#include "platform/thread.h"

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

// The owner is cleared only by the Leave that frees the lock; another thread's hold is not ours.
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

// Threads all waiting on `target` once constructed (each signals ready as it starts to wait).
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
  while (!finished) std::this_thread::yield();
}

TEST(CompletionPort, DeliversInPostedOrderAndTimesOut) {
  PortHandle port = CreateCompletionPort(2);
  ASSERT_NE(port, nullptr);
  int items[3];
  for (uintptr_t i = 0; i < 3; ++i) ASSERT_TRUE(PostCompletion(port, 7, i, &items[i]));
  uint32_t bytes;
  uintptr_t key;
  void* pointer;
  for (uintptr_t i = 0; i < 3; ++i) {
    ASSERT_TRUE(GetCompletion(port, &bytes, &key, &pointer, 0));
    EXPECT_TRUE(bytes == 7 && key == i && pointer == &items[i]) << i;
  }
  EXPECT_FALSE(GetCompletion(port, nullptr, &key, nullptr, 10));
  EXPECT_EQ(GetLastError(), WAIT_TIMEOUT);
  CloseCompletionPort(port);
}

TEST(CompletionPort, ManyProducersAndConsumersLoseAndDuplicateNothing) {
  constexpr int kProducers = 4, kConsumers = 4, kPerProducer = 5000;
  constexpr uintptr_t kStop = 0;
  PortHandle port = CreateCompletionPort(kConsumers);
  std::vector<std::atomic<int>> seen(1 + kProducers * kPerProducer);
  std::vector<std::thread> threads;
  for (int c = 0; c < kConsumers; ++c) {
    threads.emplace_back([&] {
      uintptr_t key;
      while (GetCompletion(port, nullptr, &key, nullptr) && key != kStop) ++seen[key];
    });
  }
  for (int p = 0; p < kProducers; ++p) {
    threads.emplace_back([&, p] {
      for (int i = 0; i < kPerProducer; ++i)
        PostCompletion(port, 0, 1 + p * kPerProducer + i, nullptr);
    });
  }
  for (int i = kConsumers; i < kConsumers + kProducers; ++i) threads[i].join();
  for (int c = 0; c < kConsumers; ++c) PostCompletion(port, 0, kStop, nullptr);
  for (int c = 0; c < kConsumers; ++c) threads[c].join();
  CloseCompletionPort(port);
  for (size_t key = 1; key < seen.size(); ++key) ASSERT_EQ(seen[key], 1) << key;
}

}  // namespace
}  // namespace plat
