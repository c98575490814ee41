#include "platform/heap.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/com_types.h"

namespace plat {
namespace {

TEST(Heap, SeveralThreadsShareItAndDestroyFreesWhatIsLeft) {
  HeapHandle heap = HeapCreate();
  ASSERT_NE(heap, nullptr);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([heap, t] {
      std::vector<unsigned char*> blocks;
      for (size_t size = 1; size < 4000; size += 7) {
        blocks.push_back(static_cast<unsigned char*>(HeapAlloc(heap, size)));
        ASSERT_NE(blocks.back(), nullptr);
        std::memset(blocks.back(), t, size);
      }
      for (size_t i = 0; i < blocks.size(); i += 2) {  // Every other block, out of order.
        ASSERT_EQ(blocks[i][i * 7], t);
        ASSERT_TRUE(HeapFree(heap, blocks[i]));
      }
    });
  }
  for (auto& thread : threads) thread.join();
  // Over a thousand blocks are still allocated: the leak check proves they go.
  HeapDestroy(heap);
}

TEST(Heap, RefusesBlocksOfAnotherHeapAndImpossibleSizes) {
  HeapHandle first = HeapCreate(), second = HeapCreate();
  void* block = HeapAlloc(first, 64);
  EXPECT_FALSE(HeapFree(second, block));
  EXPECT_TRUE(HeapFree(first, block));
  EXPECT_EQ(HeapAlloc(first, SIZE_MAX - 8), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
  HeapDestroy(first);
  HeapDestroy(second);
}

TEST(PageAlloc, GivesZeroedPageAlignedMemory) {
  constexpr size_t kBytes = 3 * 4096 + 100;
  auto* block = static_cast<unsigned char*>(PageAlloc(kBytes));
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % 4096, 0u);
  for (size_t i = 0; i < kBytes; ++i) ASSERT_EQ(block[i], 0) << i;
  PageFree(block, kBytes);
}

}  // namespace
}  // namespace plat
