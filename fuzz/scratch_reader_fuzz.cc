// The scratch reader over a file it did not write. The first 8 bytes choose
// the row width, where in the file the rest of the input lies (after that
// many zero pages, so that rows cross extent boundaries), how many rows the
// reader is told the run has, and the transfer engine; the file ends at the
// page after the input. Rows within the file must come back as its bytes,
// and the first row past its end must fail; nothing may crash or hang.
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "fuzz/fuzz_support.h"
#include "platform/bstr.h"
#include "platform/heap.h"
#include "scratch/scratch_reader_state.h"

namespace {

constexpr size_t kHeaderBytes = 8;
constexpr uint32_t kPage = plat::kFileAlignment;
constexpr uint32_t kMaxLeadPages = 2 * ScratchExtentSize / kPage;

uint32_t Little(const uint8_t* bytes, int count) {
  uint32_t value = 0;
  for (int i = count - 1; i >= 0; --i) value = value << 8 | bytes[i];
  return value;
}

// A transient file in a directory of its own that is gone again before any
// I/O, so that nothing is left behind even when the run ends in a crash.
plat::FileHandle OpenPrivateFile() {
  std::string dir = (std::filesystem::temp_directory_path() / "tolvarine-fuzz-XXXXXX").string();
  if (mkdtemp(dir.data()) == nullptr) return nullptr;
  plat::FileHandle file = plat::OpenTransientFile(plat::Utf8ToUtf16(dir + "/run"));
  rmdir(dir.c_str());
  return file;
}

bool WriteAt(plat::FileHandle file, uint64_t offset, const uint8_t* data, size_t size) {
  const size_t bytes = std::max<size_t>(1, (size + kPage - 1) / kPage) * kPage;
  auto* buffer = static_cast<uint8_t*>(plat::PageAlloc(bytes));
  if (buffer == nullptr) return false;
  std::memset(buffer, 0, bytes);
  std::memcpy(buffer, data, size);
  plat::AsyncIo io;
  io.Offset = offset;
  uint32_t written = 0;
  const bool done = plat::StartFileWrite(file, buffer, static_cast<uint32_t>(bytes), &io) &&
                    plat::WaitForIo(file, &io, &written) && written == bytes;
  plat::PageFree(buffer, bytes);
  return done;
}

// A reader of `rowCount` rows of `rowWidth` bytes, taking over the file.
ScratchReader* MakeReader(plat::FileHandle file, uint32_t rowWidth, uint32_t rowCount) {
  auto* reader = new ScratchReader;
  reader->Private = new ScratchReader::State;
  reader->Private->File = file;
  reader->Private->RowBuffer.reset(new uint8_t[rowWidth]);
  reader->Private->RowWidth = rowWidth;
  reader->Private->RowsLeft = rowCount;
  reader->CurrentRow = reader->ExtentStart = reader->Private->RowBuffer.get();
  reader->ExtentEnd = reader->CurrentRow + rowWidth;
  return reader;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < kHeaderBytes || size - kHeaderBytes > ScratchExtentSize) return 0;
  const uint32_t width = 1 + Little(data, 3) % (ScratchExtentSize / 2);
  const uint64_t lead = uint64_t{Little(data + 3, 2) % (kMaxLeadPages + 1)} * kPage;
  const uint8_t* payload = data + kHeaderBytes;
  const size_t payloadSize = size - kHeaderBytes;
  const uint64_t fileSize = lead + std::max<uint64_t>(1, (payloadSize + kPage - 1) / kPage) * kPage;
  const uint32_t rowCount = Little(data + 5, 2) % (fileSize / width + 3);
  if (data[7] & 1) {
    setenv("TOLVARINE_NO_URING", "1", 1);
  } else {
    unsetenv("TOLVARINE_NO_URING");
  }

  plat::FileHandle file = OpenPrivateFile();
  fuzz::Require(file != nullptr, "a private scratch file opens");
  fuzz::Require(WriteAt(file, lead, payload, payloadSize), "the scratch file is written");
  std::vector<uint8_t> image(fileSize);
  std::memcpy(image.data() + lead, payload, payloadSize);

  ScratchReader* reader = MakeReader(file, width, rowCount);
  fuzz::Require(StartScratchRead(reader) == S_OK, "the read starts");
  uint64_t row = 0;
  for (; row < rowCount; ++row) {
    const HRESULT hr = NextScratchRow(reader);
    if ((row + 1) * width > fileSize) {
      fuzz::Require(hr == HRESULT_FROM_WIN32(ERROR_HANDLE_EOF), "a row past the file's end fails");
      break;
    }
    fuzz::Require(hr == S_OK, "a row within the file reads");
    fuzz::Require(std::memcmp(reader->CurrentRow, image.data() + row * width, width) == 0,
                  "a row read is the file's bytes");
  }
  if (row == rowCount) {
    fuzz::Require(NextScratchRow(reader) == S_OK, "a step past the last row reads nothing");
  }
  CloseScratchReader(reader);
  return 0;
}
