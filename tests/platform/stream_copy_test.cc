#include "platform/stream_copy.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace plat {
namespace {

constexpr size_t kLargest = 3 * 1024 * 1024 + 17;
constexpr size_t kMaxOffset = 16;
constexpr size_t kGuard = 64;
constexpr unsigned char kUntouched = 0xEE;

// Made once: filling them per case would dominate the run time under the thread sanitizer.
const std::vector<unsigned char>& SourceBytes() {
  static const std::vector<unsigned char> bytes = [] {
    std::vector<unsigned char> result(kLargest + kMaxOffset);
    uint32_t state = 12345;
    for (auto& byte : result) {
      state = state * 1103515245u + 12345u;
      byte = static_cast<unsigned char>(state >> 24);
    }
    return result;
  }();
  return bytes;
}

// Copies `size` bytes at the given misalignments; nothing outside the destination is written.
void ExpectCopyMatches(size_t size, size_t sourceOffset, size_t destinationOffset,
                       void (*copy)(void*, const void*, size_t)) {
  static std::vector<unsigned char> destination(kLargest + kMaxOffset + 2 * kGuard);
  static const std::vector<unsigned char> untouched(kGuard + kMaxOffset, kUntouched);
  const unsigned char* from = SourceBytes().data() + sourceOffset;
  const size_t head = kGuard + destinationOffset;
  std::memset(destination.data(), kUntouched, head + size + kGuard);
  unsigned char* target = destination.data() + head;
  copy(target, from, size);
  ASSERT_EQ(std::memcmp(target, from, size), 0)
      << "size " << size << " offsets " << sourceOffset << "/" << destinationOffset;
  EXPECT_TRUE(std::memcmp(destination.data(), untouched.data(), head) == 0 &&
              std::memcmp(target + size, untouched.data(), kGuard) == 0)
      << "size " << size;
}

TEST(StreamCopy, MatchesMemcpyAroundEveryThreshold) {
  std::vector<size_t> sizes;
  for (size_t size = 0; size <= 300; ++size) sizes.push_back(size);
  for (size_t centre : {size_t{32768}, size_t{65536}, size_t{201728}}) {
    for (size_t size = centre - 70; size <= centre + 70; size += 7) sizes.push_back(size);
    sizes.push_back(centre);
  }
  sizes.push_back(kLargest);
  for (size_t size : sizes) {
    for (auto [sourceOffset, destinationOffset] :
         {std::pair<size_t, size_t>{0, 0}, {1, 0}, {0, 3}, {5, 13}, {15, 1}}) {
      ExpectCopyMatches(size, sourceOffset, destinationOffset, StreamCopy);
    }
  }
}

TEST(CopyBytes, MatchesMemcpyOnBothSidesOfItsCutOver) {
  for (size_t size : {size_t{0}, size_t{127}, size_t{128}, size_t{129}, size_t{70000}}) {
    ExpectCopyMatches(size, 3, 7, CopyBytes);
  }
}

}  // namespace
}  // namespace plat
