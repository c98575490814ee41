#include "platform/completion_port.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace plat {
namespace {

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
