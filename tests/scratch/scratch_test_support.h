// Shared pieces of the scratch tests: private directories, memory file
// systems, runs of patterned rows, and the transfer engine to use.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/bstr.h"
#include "platform/fault_injection.h"
#include "scratch/scratch_file.h"
#include "scratch/scratch_run_writer.h"
#include "tests/support/test_files.h"

namespace scratch_test {

namespace fs = std::filesystem;

using testsupport::MemoryMount;
using testsupport::TempDir;

// Rows whose every byte depends on its row and position, handed over odd rows
// first, so that a writer ignoring the order of the row addresses is caught.
struct PatternRun {
  PatternRun(uint32_t rowCount, uint32_t rowWidth)
      : width(rowWidth), bytes(size_t{rowCount} * rowWidth) {
    for (size_t i = 0; i < bytes.size(); ++i) {
      bytes[i] =
          static_cast<uint8_t>(((i / rowWidth) * 2654435761u + (i % rowWidth) * 40503u) >> 7);
    }
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
  if (FAILED(hr)) {
    AbandonScratchRun(writer);
    return hr;
  }
  uint32_t rows = 0;
  return FinishScratchRun(writer, &rows, reader);
}

// Which transfer engine new files get.
enum class Engine { kUring, kThread };

inline std::string EngineName(const testing::TestParamInfo<Engine>& info) {
  return info.param == Engine::kUring ? "Uring" : "Thread";
}

// A test over one engine, with one scratch area that must be empty at the end.
template <typename Param>
class ScratchTest : public testing::TestWithParam<Param> {
 protected:
  void UseEngine(Engine engine) {
    if (engine == Engine::kThread) {
      setenv("TOLVARINE_NO_URING", "1", 1);
    } else {
      unsetenv("TOLVARINE_NO_URING");
    }
    ASSERT_EQ(ParseScratchAreas(&list_, area_.u16().c_str()), S_OK);
  }
  void TearDown() override {
    plat::ClearFaults();
    unsetenv("TOLVARINE_NO_URING");
    EXPECT_EQ(area_.Count(), 0u);
  }

  TempDir area_;
  ScratchAreaList list_;
};

}  // namespace scratch_test
