#include "tools/commands/sort_progress.h"

#include <algorithm>
#include <cstdio>

namespace tolvarine {
namespace {

constexpr auto kSampleInterval = std::chrono::milliseconds(250);

std::string FormatRate(double perSecond) {
  char text[32];
  if (perSecond >= 1e6) {
    std::snprintf(text, sizeof(text), "%.1fM", perSecond / 1e6);
  } else if (perSecond >= 1e3) {
    std::snprintf(text, sizeof(text), "%.1fk", perSecond / 1e3);
  } else {
    std::snprintf(text, sizeof(text), "%.0f", perSecond);
  }
  return text;
}

}  // namespace

std::string FormatCount(uint64_t count) {
  const std::string digits = std::to_string(count);
  std::string grouped;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped.push_back(',');
    grouped.push_back(digits[i]);
  }
  return grouped;
}

std::string FormatBytes(uint64_t bytes) {
  static constexpr const char* kUnits[] = {"KiB", "MiB", "GiB", "TiB"};
  if (bytes < 1024) return std::to_string(bytes) + " B";
  double value = static_cast<double>(bytes) / 1024;
  size_t unit = 0;
  while (value >= 1024 && unit + 1 < std::size(kUnits)) {
    value /= 1024;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof(text), "%.1f %s", value, kUnits[unit]);
  return text;
}

std::string FormatDuration(double seconds) {
  const uint64_t whole = seconds > 0 ? static_cast<uint64_t>(seconds + 0.5) : 0;
  char text[32];
  if (whole >= 3600) {
    std::snprintf(text, sizeof(text), "%llu:%02llu:%02llu",
                  static_cast<unsigned long long>(whole / 3600),
                  static_cast<unsigned long long>(whole / 60 % 60),
                  static_cast<unsigned long long>(whole % 60));
  } else {
    std::snprintf(text, sizeof(text), "%llu:%02llu", static_cast<unsigned long long>(whole / 60),
                  static_cast<unsigned long long>(whole % 60));
  }
  return text;
}

std::string ProgressLine(const ProgressSnapshot& s) {
  std::string line = "read " + FormatCount(s.rowsRead) + " rows";
  if (s.totalBytes && *s.totalBytes > 0 && !s.inputEnded) {
    line += " (" + std::to_string(s.bytesRead * 100 / *s.totalBytes) + "%)";
  }
  line += ", spilled " + FormatBytes(s.bytesSpilled) + ", written " + FormatCount(s.rowsWritten) +
          " rows";
  // The rate and the estimate follow the phase: reading, then writing.
  double rate = 0;
  std::optional<double> left;
  if (!s.inputEnded) {
    if (s.elapsedSeconds > 0) rate = s.rowsRead / s.elapsedSeconds;
    if (s.totalBytes && s.bytesRead > 0 && s.bytesRead <= *s.totalBytes) {
      left = s.elapsedSeconds * static_cast<double>(*s.totalBytes - s.bytesRead) / s.bytesRead;
    }
  } else {
    const double writing = s.elapsedSeconds - s.inputSeconds;
    if (writing > 0) rate = s.rowsWritten / writing;
    if (rate > 0 && s.rowsRead >= s.rowsWritten) left = (s.rowsRead - s.rowsWritten) / rate;
  }
  line += ", " + FormatRate(rate) + " rows/s, " + FormatDuration(s.elapsedSeconds) + " elapsed";
  if (left) line += ", ~" + FormatDuration(*left) + " left";
  return line;
}

std::string StatsLine(const SortStats& s) {
  char times[128];
  std::snprintf(times, sizeof(times), "setup %.2f s, input %.2f s, output %.2f s, total %.2f s",
                s.setupSeconds, s.inputSeconds, s.outputSeconds,
                s.setupSeconds + s.inputSeconds + s.outputSeconds);
  return "rows in " + FormatCount(s.rowsIn) + ", rows out " + FormatCount(s.rowsOut) +
         ", spilled " + FormatBytes(s.bytesSpilled) + ", scratch files " +
         std::to_string(s.scratchFiles) + ", peak memory " +
         (s.peakMemory ? FormatBytes(*s.peakMemory) : std::string("unknown")) + ", time: " + times;
}

SortMonitor::SortMonitor(SortCounters& counters, std::optional<uint64_t> totalBytes,
                         ITolvarineStatistics* statistics, std::ostream& err)
    : counters_(counters), totalBytes_(totalBytes), statistics_(statistics), err_(err) {}

SortMonitor::~SortMonitor() {
  Stop();
}

void SortMonitor::Start() {
  thread_ = std::thread([this] { Run(); });
}

void SortMonitor::Stop() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
  Draw(true);
}

void SortMonitor::Run() {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    wake_.wait_for(lock, kSampleInterval);
    if (stopping_) break;
    Draw(false);
  }
}

void SortMonitor::Draw(bool final) {
  ProgressSnapshot snapshot;
  snapshot.elapsedSeconds = counters_.SecondsSinceStart();
  snapshot.rowsRead = counters_.rowsRead.load();
  snapshot.bytesRead = counters_.bytesRead.load();
  snapshot.totalBytes = totalBytes_;
  TolvarineStatistics counted{};
  if (statistics_ && SUCCEEDED(statistics_->GetStatistics(&counted))) {
    snapshot.bytesSpilled = counted.BytesSpilled;
  }
  snapshot.rowsWritten = counters_.rowsWritten.load();
  const int64_t endedAt = counters_.inputEndedAt.load();
  snapshot.inputEnded = endedAt != 0;
  snapshot.inputSeconds = std::chrono::duration<double>(Clock::duration(endedAt)).count();
  // Carriage return and erase-to-end redraw the line in place.
  err_ << '\r' << ProgressLine(snapshot) << "\x1B[K";
  if (final) err_ << '\n';
  err_.flush();
}

}  // namespace tolvarine
