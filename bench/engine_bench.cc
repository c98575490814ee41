// Feeds the sort engine 100-byte rows with a 10-byte DT_BYTES key, in
// buffers of 10,000 rows, and reports rows per second, the time of each
// phase, peak memory and, when the engine spills, the scratch traffic.
//
//   engine_bench [--mb N] [--case memory|spill|budget|all] [--scratch DIR]
//
// memory: random and already sorted keys, with 1 and 2 worker threads and a
// budget that keeps everything in memory. spill: random keys, 2 threads, a
// 256 MiB budget, scratch files in DIR (default $TMPDIR or /tmp). budget:
// twenty times a 32 MiB budget; fails unless resident memory stays within
// the budget plus InputOverhead while the input arrives (the final merge
// adds two read buffers for every run on disk).
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/sort_engine.h"
#include "keys/column_functions.h"
#include "platform/process_stats.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kRowWidth = 100;
constexpr uint32_t kKeyBytes = 10;
constexpr uint32_t kBufferRows = 10000;
constexpr double kMiB = 1024.0 * 1024.0;
// Beyond the budget (which counts rows and their 16-byte entries) while input
// arrives: the one buffer taken in after a spill pass, the spill's two 2 MiB
// write buffers, the entry array a merge in memory builds (at most a scratch
// file's worth of rows), the read buffers of a merge of runs on disk (a
// quarter of the budget, at least 16 MiB) and slack for thread stacks and the
// allocator.
uint64_t InputOverhead(uint64_t budget, uint64_t scratchFileBytes) {
  const uint64_t mergeReaders = std::max<uint64_t>(budget / 4, 16u << 20);
  return (1u << 20) + (4u << 20) + scratchFileBytes * 16 / kRowWidth + mergeReaders + (8u << 20);
}

// Row layout (the same for input and output): the key, a sequence number and
// a filler value.
constexpr uint32_t kKeyStatus = 0, kKeyLength = 4, kKey = 8;
constexpr uint32_t kSeqStatus = 20, kSeq = 24;
constexpr uint32_t kFillStatus = 32, kFillLength = 36, kFill = 40, kFillBytes = 60;

double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

// Discards the rows it is given, checking their key order on the fly.
class CheckingSink final : public SortedRowSink {
 public:
  HRESULT BeginRows() override {
    openTime = Clock::now();
    return S_OK;
  }
  HRESULT PutRow(const uint8_t* row) override {
    if (rows > 0 && std::memcmp(previous_, row + kKey, kKeyBytes) > 0) ++outOfOrder;
    std::memcpy(previous_, row + kKey, kKeyBytes);
    ++rows;
    return S_OK;
  }
  void EndRows() override { closeTime = Clock::now(); }

  uint64_t rows = 0;
  uint64_t outOfOrder = 0;
  Clock::time_point openTime{}, closeTime{};

 private:
  uint8_t previous_[kKeyBytes] = {};
};

SortColumn Column(int32_t type, uint32_t data, uint32_t length, uint32_t status, uint32_t slot,
                  int32_t position) {
  SortColumn column{};
  column.InputDataOffset = data;
  column.InputLengthOffset = length;
  column.InputStatusOffset = status;
  column.OutputColumn = {static_cast<uint32_t>(type), slot, data, status, length, 0, 0, 0};
  column.SortKeyPosition = position;
  column.InputMaxLength = slot;
  SelectColumnFunctions(type, 0, &column.Compare, &column.Copy);
  return column;
}

struct Case {
  const char* name;
  bool sorted;
  uint32_t threads;
  uint64_t budget;
  bool spill;
  uint64_t megabytes;
  bool checkPeak;
  uint32_t scratchFileBytes = 200u << 20;
};

// Fills one buffer of rows; keys are random or ascending from `sequence`.
void FillBuffer(std::vector<uint8_t>* buffer, uint32_t rows, uint64_t sequence, bool sorted,
                uint64_t* random) {
  for (uint32_t i = 0; i < rows; ++i) {
    uint8_t* row = buffer->data() + static_cast<size_t>(i) * kRowWidth;
    const uint64_t seq = sequence + i;
    uint8_t* key = row + kKey;
    if (sorted) {
      key[0] = key[1] = 0;
      for (int b = 0; b < 8; ++b) key[2 + b] = static_cast<uint8_t>(seq >> (56 - 8 * b));
    } else {
      uint64_t x = *random;
      x ^= x << 13;
      x ^= x >> 7;
      x ^= x << 17;
      *random = x;
      std::memcpy(key, &x, 8);
      key[8] = static_cast<uint8_t>(x >> 29);
      key[9] = static_cast<uint8_t>(x >> 41);
    }
    std::memcpy(row + kSeq, &seq, 8);
  }
}

bool RunCase(const Case& c, const std::u16string& scratchDir) {
  const uint64_t totalRows = (c.megabytes << 20) / kRowWidth;
  plat::ResetPeakResidentBytes();
  const uint64_t residentBefore = plat::CurrentResidentBytes();
  plat::ProcessIoBytes ioBefore{}, ioAfter{};
  plat::GetProcessIoBytes(&ioBefore);

  SortEngine engine;
  engine.ThreadCount = c.threads;
  engine.RamBudget = static_cast<uint32_t>(std::min<uint64_t>(c.budget, 0xFFFFFFFFu));
  engine.ScratchFileBytes = c.scratchFileBytes;
  engine.ScratchAreaList.Areas.push_back(scratchDir);
  engine.SortKeys = {Column(DT_BYTES, kKey, kKeyLength, kKeyStatus, kKeyBytes, 1)};
  if (FAILED(engine.Create())) {
    std::printf("%s: Create failed\n", c.name);
    return false;
  }
  CheckingSink sink;
  engine.Output = &sink;

  std::vector<uint8_t> buffer(static_cast<size_t>(kBufferRows) * kRowWidth, 0);
  for (uint32_t i = 0; i < kBufferRows; ++i) {
    uint8_t* row = buffer.data() + static_cast<size_t>(i) * kRowWidth;
    std::memcpy(row + kKeyLength, &kKeyBytes, 4);
    std::memcpy(row + kFillLength, &kFillBytes, 4);
    std::memset(row + kFill, 'x', kFillBytes);
  }
  uint64_t random = 0x9E3779B97F4A7C15ull;
  Clock::duration inputTime{}, generateTime{};
  HRESULT hr = S_OK;
  for (uint64_t done = 0; done < totalRows && SUCCEEDED(hr);) {
    const auto rows = static_cast<uint32_t>(std::min<uint64_t>(kBufferRows, totalRows - done));
    const auto g0 = Clock::now();
    FillBuffer(&buffer, rows, done, c.sorted, &random);
    const auto g1 = Clock::now();
    hr = engine.AddRows(rows, kRowWidth, buffer.data(), false);
    inputTime += Clock::now() - g1;
    generateTime += g1 - g0;
    done += rows;
  }
  const uint64_t inputPeak = plat::PeakResidentBytes();
  const auto endStart = Clock::now();
  if (SUCCEEDED(hr)) hr = engine.AddRows(0, kRowWidth, nullptr, true);
  const auto endDone = Clock::now();
  const uint64_t peak = plat::PeakResidentBytes();
  const auto d0 = Clock::now();
  engine.Destroy();
  const auto destroyTime = Clock::now() - d0;
  plat::GetProcessIoBytes(&ioAfter);

  const bool merged = sink.openTime != Clock::time_point{};
  const double wait = merged ? Seconds(sink.openTime - endStart) : 0;
  const double merge = merged ? Seconds(sink.closeTime - sink.openTime) : 0;
  const double sortTime = Seconds(inputTime) + Seconds(endDone - endStart);
  const double dataMiB = totalRows * kRowWidth / kMiB;
  std::printf("%-22s threads %u  %7.0f MiB  budget %6.0f MiB  result 0x%08X  rows out %llu%s\n",
              c.name, c.threads, dataMiB, c.budget / kMiB, static_cast<uint32_t>(hr),
              static_cast<unsigned long long>(sink.rows), sink.outOfOrder ? "  OUT OF ORDER" : "");
  std::printf(
      "  %.2f M rows/s (%.1f MiB/s) over %.2f s: input %.2f s (+%.2f s generating), "
      "wait for final merge %.2f s, final merge %.2f s, destroy %.2f s\n",
      totalRows / sortTime / 1e6, dataMiB / sortTime, sortTime, Seconds(inputTime),
      Seconds(generateTime), wait, merge, Seconds(destroyTime));
  const uint64_t inputGrowth = inputPeak - residentBefore;
  std::printf(
      "  peak resident %.0f MiB (%.0f MiB before; %.2f x the data); %.1f MiB above the "
      "start while the input arrived\n",
      peak / kMiB, residentBefore / kMiB, (peak - residentBefore) / kMiB / dataMiB,
      inputGrowth / kMiB);
  const bool peakOk =
      !c.checkPeak || inputGrowth <= c.budget + InputOverhead(c.budget, c.scratchFileBytes);
  if (!peakOk) std::printf("  OVER BUDGET while the input arrived\n");
  const uint64_t written = ioAfter.WriteBytes - ioBefore.WriteBytes;
  const uint64_t read = ioAfter.ReadBytes - ioBefore.ReadBytes;
  if (c.spill || written > 0 || read > 0) {
    std::printf(
        "  scratch: %.0f MiB written (%.0f MiB/s over the input phase), %.0f MiB read "
        "(%.0f MiB/s over the wait and the final merge)\n",
        written / kMiB, written / kMiB / Seconds(inputTime), read / kMiB,
        read / kMiB / std::max(wait + merge, 1e-9));
  }
  std::fflush(stdout);
  return SUCCEEDED(hr) && sink.rows == totalRows && sink.outOfOrder == 0 && peakOk;
}

}  // namespace

int main(int argc, char** argv) {
  uint64_t megabytes = 1024;
  std::string which = "all";
  const char* tmp = std::getenv("TMPDIR");
  std::string scratch = tmp && *tmp ? tmp : "/tmp";
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--mb" && i + 1 < argc) {
      megabytes = std::strtoull(argv[++i], nullptr, 10);
    } else if (arg == "--case" && i + 1 < argc) {
      which = argv[++i];
    } else if (arg == "--scratch" && i + 1 < argc) {
      scratch = argv[++i];
    } else {
      std::fprintf(stderr, "usage: %s [--mb N] [--case memory|spill|budget|all] [--scratch DIR]\n",
                   argv[0]);
      return 2;
    }
  }
  const uint64_t inMemoryBudget = (megabytes << 20) + (megabytes << 18);  // 1.25 x the data.
  std::vector<Case> cases;
  if (which == "memory" || which == "all") {
    for (bool sorted : {false, true}) {
      for (uint32_t threads : {1u, 2u}) {
        cases.push_back({sorted ? "in memory, sorted" : "in memory, random", sorted, threads,
                         inMemoryBudget, false, megabytes, false});
      }
    }
  }
  if (which == "spill" || which == "all") {
    cases.push_back({"spilling, random", false, 2, 256ull << 20, true, megabytes, false});
  }
  if (which == "budget" || which == "all") {
    // The scratch file size is set directly to the budget (the property has a
    // floor of 200 MB), so that runs and spill passes are in proportion.
    cases.push_back({"20 x the budget", false, 2, 32ull << 20, true, 640, true, 32u << 20});
  }
  const std::u16string scratchDir(scratch.begin(), scratch.end());
  bool ok = true;
  for (const Case& c : cases) ok = RunCase(c, scratchDir) && ok;
  return ok ? 0 : 1;
}
