#include "platform/heap.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

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

// True when every page of [block, block + bytes) is mapped.
bool IsMapped(const void* block, size_t bytes) {
  const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  const uintptr_t start = reinterpret_cast<uintptr_t>(block) & ~(page - 1);
  const uintptr_t end = reinterpret_cast<uintptr_t>(block) + bytes;
  std::vector<unsigned char> pages((end - start + page - 1) / page);
  return mincore(reinterpret_cast<void*>(start), end - start, pages.data()) == 0;
}

TEST(Heap, KeepsFreedLargeBlocksOnlyWithinItsRecentUseAndDestroyReturnsThem) {
  constexpr size_t kBatch = 1 << 20;
  HeapHandle heap = HeapCreate();
  void* first = HeapAlloc(heap, kBatch);
  ASSERT_NE(first, nullptr);
  std::memset(first, 1, kBatch);
  ASSERT_TRUE(HeapFree(heap, first));
  EXPECT_FALSE(HeapFree(heap, first));  // Idle, not the caller's any more.
  void* again = HeapAlloc(heap, kBatch);
  EXPECT_EQ(again, first);
  // Of the same size class but longer: the idle block cannot hold it.
  ASSERT_TRUE(HeapFree(heap, again));
  auto* longer = static_cast<unsigned char*>(HeapAlloc(heap, kBatch + 64 * 1024));
  ASSERT_NE(longer, nullptr);
  ASSERT_TRUE(IsMapped(longer, kBatch + 64 * 1024));
  std::memset(longer, 2, kBatch + 64 * 1024);
  ASSERT_TRUE(HeapFree(heap, longer));

  // Four batches in use, then idle; a block of another size must not add to
  // them beyond what the heap had in use (at most one batch stays idle).
  void* batches[4];
  for (void*& batch : batches) ASSERT_NE(batch = HeapAlloc(heap, kBatch), nullptr);
  for (void* batch : batches) ASSERT_TRUE(HeapFree(heap, batch));
  auto* big = static_cast<unsigned char*>(HeapAlloc(heap, 3 * kBatch));
  ASSERT_NE(big, nullptr);
  std::memset(big, 3, 3 * kBatch);
  int kept = 0;
  for (void* batch : batches) {
    auto* bytes = static_cast<unsigned char*>(batch);
    const bool insideBig = bytes + kBatch > big - 4096 && bytes < big + 3 * kBatch;
    kept += !insideBig && IsMapped(batch, kBatch);
  }
  EXPECT_LE(kept, 1);

  void* idle = HeapAlloc(heap, kBatch);
  ASSERT_TRUE(HeapFree(heap, idle));
  HeapDestroy(heap);  // One block in use, one idle: both go.
  EXPECT_FALSE(IsMapped(big, 3 * kBatch));
  EXPECT_FALSE(IsMapped(idle, kBatch));
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
