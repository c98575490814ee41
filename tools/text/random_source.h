// A small, fast pseudo-random generator (SplitMix64) whose sequence is the
// same on every platform, so a seed names one data set everywhere.
#pragma once

#include <cstdint>

namespace tolvarine {

class RandomSource {
 public:
  explicit RandomSource(uint64_t seed) : state_(seed) {}

  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15u);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
    return z ^ (z >> 31);
  }

  // Uniform in [0, bound). REQUIRES: bound > 0. The modulo bias is below
  // 2^-40 for the bounds used here, far under anything a test data set shows.
  uint64_t Below(uint64_t bound) { return Next() % bound; }

  // Uniform in [low, high]. REQUIRES: low <= high.
  int64_t Between(int64_t low, int64_t high) {
    return low + static_cast<int64_t>(Below(static_cast<uint64_t>(high - low) + 1));
  }

 private:
  uint64_t state_;
};

}  // namespace tolvarine
