// Shared pieces of the scratch tests: patterned runs, transfer engines, checks.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "platform/fault_injection.h"
#include "scratch/scratch_file.h"
#include "scratch/scratch_run_writer.h"
#include "tests/support/test_files.h"

namespace scratch_test {

namespace fs = std::filesystem;

using testsupport::TempDir;

// Every byte depends on row and position; odd rows are handed over first, so a
// writer ignoring the order of the row addresses is caught.
struct PatternRun {
  PatternRun(uint32_t rowCount, uint32_t rowWidth)
      : width(rowWidth), bytes(size_t{rowCount} * rowWidth) {
    for (size_t i = 0; i < bytes.size(); ++i)
      bytes[i] = uint8_t(((i / rowWidth) * 2654435761u + (i % rowWidth) * 40503u) >> 7);
    for (uint32_t k = 0; k < rowCount; ++k) {
      const uint32_t row = k < rowCount / 2 ? 2 * k + 1 : 2 * (k - rowCount / 2);
      pointers.push_back(bytes.data() + size_t{row} * rowWidth);
    }
  }
  uint32_t count() const { return static_cast<uint32_t>(pointers.size()); }

  uint32_t width;
  std::vector<uint8_t> bytes;
  std::vector<uint8_t*> pointers;
};

// Writes the run to a new scratch file, pre-sized for it, as a merge does.
inline HRESULT WriteRun(ScratchAreaList* list, const PatternRun& run, ScratchReader** reader) {
  *reader = nullptr;
  ScratchRunWriter* writer = nullptr;
  HRESULT hr = BeginScratchRun(list, run.width, uint64_t{run.count()} * run.width, &writer);
  for (size_t i = 0; SUCCEEDED(hr) && i < run.pointers.size(); ++i) {
    hr = AppendScratchRow(writer, run.pointers[i]);
  }
  uint32_t rows = 0;
  return FAILED(hr) ? (AbandonScratchRun(writer), hr) : FinishScratchRun(writer, &rows, reader);
}

// Transfer engine of new files: POSIX io_uring or a thread of blocking calls
// (TOLVARINE_NO_URING); Windows overlapped I/O.
enum class Engine { kUring, kThread, kOverlapped };

inline std::string EngineName(const testing::TestParamInfo<Engine>& info) {
  const char* names[] = {"Uring", "Thread", "Overlapped"};
  return names[static_cast<int>(info.param)];
}

#ifdef _WIN32
inline auto AllEngines() {
  return testing::Values(Engine::kOverlapped);
}
inline void SelectEngine(Engine) {}
#else
inline auto AllEngines() {
  return testing::Values(Engine::kUring, Engine::kThread);
}
inline void SelectEngine(Engine engine) {
  engine == Engine::kThread ? setenv("TOLVARINE_NO_URING", "1", 1) : unsetenv("TOLVARINE_NO_URING");
}
#endif

// The rows whose bytes lie in two extents of `extent` bytes.
inline std::set<uint32_t> SplitRows(uint32_t rows, uint32_t width,
                                    uint32_t extent = ScratchExtentSize) {
  std::set<uint32_t> split;
  for (uint64_t i = 0; i < rows; ++i) {
    if (i * width / extent != ((i + 1) * width - 1) / extent) split.insert(i);
  }
  return split;
}

// Reads and checks every row; returns those handed out from the row buffer.
inline std::set<uint32_t> ReadBack(ScratchReader* reader, const PatternRun& run,
                                   uint32_t extent = ScratchExtentSize) {
  std::set<uint32_t> fromBuffer;
  EXPECT_EQ(StartScratchRead(reader, extent), S_OK);
  for (uint32_t i = 0; i < run.count(); ++i) {
    const HRESULT hr = NextScratchRow(reader);
    if (hr != S_OK || std::memcmp(reader->CurrentRow, run.pointers[i], run.width) != 0) {
      ADD_FAILURE() << "row " << i << ", result " << std::hex << hr;
      break;
    }
    if (reader->RowInBuffer) fromBuffer.insert(i);
  }
  // The merge steps a run past its last row before it counts the row off.
  EXPECT_EQ(NextScratchRow(reader), S_OK);
  EXPECT_EQ(NextScratchRow(reader), S_OK);
  return fromBuffer;
}

// A test of one engine with a scratch area that must end empty, and a run of
// three extents, the last partly filled.
class ScratchRunTest : public testing::TestWithParam<Engine> {
 protected:
  void SetUp() override {
    SelectEngine(GetParam());
    ASSERT_EQ(ParseScratchAreas(&list_, area_.u16().c_str()), S_OK);
  }
  void TearDown() override {
    plat::ClearFaults();
    SelectEngine(Engine::kUring);
    EXPECT_EQ(area_.Count(), 0u);
  }
  // Steps on from row *row until a step fails (its result) or the run ends.
  HRESULT ReadOn(uint32_t* row) {
    HRESULT hr = S_OK;
    while (*row < run_.count() && (hr = NextScratchRow(reader_)) == S_OK) ++*row;
    return hr;
  }

  TempDir area_;
  ScratchAreaList list_;
  PatternRun run_{18000, 250};
  ScratchReader* reader_ = nullptr;
};

}  // namespace scratch_test
