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
  HeapDestroy(heap);  // Over a thousand blocks left: the leak check proves they go.
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
  ASSERT_EQ(HeapAlloc(heap, kBatch), first);
  ASSERT_TRUE(HeapFree(heap, first));
  // Of the same size class but longer: the idle block must not be handed out for it.
  auto* longer = static_cast<unsigned char*>(HeapAlloc(heap, kBatch + 64 * 1024));
  ASSERT_TRUE(longer != nullptr && IsMapped(longer, kBatch + 64 * 1024));
  std::memset(longer, 2, kBatch + 64 * 1024);
  ASSERT_TRUE(HeapFree(heap, longer));

  // Four batches used then idle: a block of another size leaves at most one of them mapped.
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

}  // namespace
}  // namespace plat
