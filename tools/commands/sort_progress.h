// What "tolvarine sort" tells about a running sort: the one-line progress
// display on standard error and the --stats summary.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <thread>

#include "interfaces/component_interfaces.h"

namespace tolvarine {

using Clock = std::chrono::steady_clock;

// Shared between the reading thread, the writing thread and the monitor.
struct SortCounters {
  Clock::time_point start = Clock::now();  // Set before any of those threads starts.
  std::atomic<uint64_t> rowsRead{0};
  std::atomic<uint64_t> bytesRead{0};
  std::atomic<uint64_t> rowsWritten{0};
  std::atomic<int64_t> inputEndedAt{0};  // Clock ticks since start; 0 while reading.

  // Records the end of the input (once).
  void MarkInputEnded() {
    int64_t expected = 0;
    const int64_t ticks = std::max<int64_t>(1, (Clock::now() - start).count());
    inputEndedAt.compare_exchange_strong(expected, ticks);
  }
  double SecondsSinceStart() const {
    return std::chrono::duration<double>(Clock::now() - start).count();
  }
};

struct ProgressSnapshot {
  double elapsedSeconds = 0;
  uint64_t rowsRead = 0;
  uint64_t bytesRead = 0;
  std::optional<uint64_t> totalBytes;
  uint64_t bytesSpilled = 0;
  uint64_t rowsWritten = 0;
  bool inputEnded = false;
  double inputSeconds = 0;  // Elapsed when the input ended.
};

// "1,234,567".
std::string FormatCount(uint64_t count);
// "1.5 MiB", "312 B".
std::string FormatBytes(uint64_t bytes);
// "1:05", "1:02:03".
std::string FormatDuration(double seconds);
// The progress line, without line control characters.
std::string ProgressLine(const ProgressSnapshot& snapshot);

struct SortStats {
  uint64_t rowsIn = 0, rowsOut = 0, bytesSpilled = 0;
  size_t scratchFiles = 0;
  std::optional<uint64_t> peakMemory;
  double setupSeconds = 0, inputSeconds = 0, outputSeconds = 0;
};
std::string StatsLine(const SortStats& stats);

// Redraws the progress line a few times a second while a sort runs. The
// spilled bytes are the component's own count, read through `statistics`
// (null when the component offers none: nothing spilled is shown), whose
// GetStatistics may be called while the sort runs.
class SortMonitor {
 public:
  SortMonitor(SortCounters& counters, std::optional<uint64_t> totalBytes,
              ITolvarineStatistics* statistics, std::ostream& err);
  ~SortMonitor();
  void Start();
  // Stops the thread; the progress line is drawn a last time and ended.
  void Stop();

 private:
  void Run();
  void Draw(bool final);

  SortCounters& counters_;
  const std::optional<uint64_t> totalBytes_;
  ITolvarineStatistics* const statistics_;
  std::ostream& err_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;  // GUARDED_BY(mutex_)
  std::thread thread_;
};

}  // namespace tolvarine
