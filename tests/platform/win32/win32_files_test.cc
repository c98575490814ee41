// The Windows file services on the real system calls: input and output files, scratch files and
// their block transfers, drive roots, process facts.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/async_file.h"
#include "platform/bstr.h"
#include "platform/fault_injection.h"
#include "platform/file_system.h"
#include "platform/input_file.h"
#include "platform/output_file.h"
#include "platform/process_stats.h"
#include "tests/support/test_files.h"
#include "tests/support/wine.h"

namespace win32test {
namespace {

using testsupport::ReadText;
using testsupport::WriteText;

class ScratchDir : public testsupport::TempDir {
 public:
  ScratchDir() : TempDir("tolvarine-check-") {}
  // The directory with a closing backslash, to append a name to.
  std::wstring Wide() const { return path().wstring() + L"\\"; }
  std::u16string Utf16(const std::wstring& leaf) const {
    const std::wstring whole = Wide() + leaf;
    return std::u16string(whole.begin(), whole.end());
  }
  std::string Utf8(const std::wstring& leaf) const { return plat::Utf16ToUtf8(Utf16(leaf)); }
};

inline bool Exists(const std::wstring& path) {
  return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Everything the file gives, read in pieces of the given sizes (cycled).
std::string ReadAll(const std::string& path, std::initializer_list<size_t> pieces) {
  plat::InputFile file;
  std::string error;
  if (!file.Open(path, &error)) return "<" + error + ">";
  std::string all;
  for (size_t i = 0;; ++i) {
    const size_t size = pieces.begin()[i % pieces.size()];
    const size_t at = all.size();
    all.resize(at + size);
    const ptrdiff_t got = file.Read(all.data() + at, size, &error);
    all.resize(at + (got > 0 ? static_cast<size_t>(got) : 0));
    if (got <= 0) break;
  }
  return all;
}

constexpr uint32_t kBlock = 64 * 1024;

// Page-aligned memory, as the transfers need, filled with `fill`.
struct Pages {
  explicit Pages(size_t bytes, uint8_t fill = 0)
      : data(static_cast<uint8_t*>(::VirtualAlloc(nullptr, bytes, MEM_COMMIT, PAGE_READWRITE))) {
    std::memset(data, fill, bytes);
  }
  ~Pages() { ::VirtualFree(data, 0, MEM_RELEASE); }
  uint8_t* data;
};

// Starts a transfer and waits for it: the bytes moved, or -1 with WaitForIo's last error.
long Transfer(plat::FileHandle file, bool read, void* buffer, uint32_t bytes, uint64_t offset) {
  plat::AsyncIo io;
  io.Offset = offset;
  const bool started = read ? plat::StartFileRead(file, buffer, bytes, &io)
                            : plat::StartFileWrite(file, buffer, bytes, &io);
  if (!started) return -2;
  uint32_t moved = 0;
  return plat::WaitForIo(file, &io, &moved) ? static_cast<long>(moved) : -1;
}

TEST(Win32Files, InputFile) {
  ScratchDir dir;
  const std::vector<uint8_t> bytes = testsupport::PatternBytes((size_t{5} << 20) + 4097);
  const std::string data(bytes.begin(), bytes.end());
  WriteText(dir.Wide() + L"input", data);
  EXPECT_TRUE(ReadAll(dir.Utf8(L"input"), {1, 4095, (size_t{1} << 20) + 1}) == data);
  EXPECT_TRUE(ReadAll(dir.Utf8(L"input"), {size_t{8} << 20}) == data);

  // A name outside ASCII goes through as UTF-8.
  WriteText(dir.Wide() + L"\u00e9t\u00e9.txt", "summer");
  EXPECT_TRUE(ReadAll(dir.Utf8(L"\u00e9t\u00e9.txt"), {100}) == "summer");
  plat::InputFile missing;
  std::string error;
  EXPECT_TRUE(!missing.Open(dir.Utf8(L"missing"), &error) &&
              error.starts_with("cannot open the input file: "));
}

TEST(Win32Files, OutputFile) {
  ScratchDir dir;
  const std::wstring target = dir.Wide() + L"out";
  std::string error;
  {
    // New: nothing under the name until Commit, nothing else left after.
    plat::OutputFile out;
    EXPECT_TRUE(out.Open(dir.Utf8(L"out"), &error));
    EXPECT_TRUE(out.Write("new contents", 12, &error));
    EXPECT_TRUE(!Exists(target));
    EXPECT_TRUE(out.Commit(&error));
    EXPECT_TRUE(ReadText(target) == "new contents" && dir.Count() == 1);
  }
  {
    // Replaced: the old contents stay until Commit; Discard keeps them.
    plat::OutputFile out;
    EXPECT_TRUE(out.Open(dir.Utf8(L"out"), &error) && out.Write("second", 6, &error));
    EXPECT_TRUE(ReadText(target) == "new contents");
    out.Discard();
    EXPECT_TRUE(ReadText(target) == "new contents" && dir.Count() == 1);
    EXPECT_TRUE(out.Open(dir.Utf8(L"out"), &error) && out.Write("second", 6, &error));
  }
  EXPECT_TRUE(ReadText(target) == "new contents" && dir.Count() == 1);  // Destroyed: dropped.
  {
    // The sort's own input, still open, is replaced.
    plat::InputFile input;
    EXPECT_TRUE(input.Open(dir.Utf8(L"out"), &error));
    plat::OutputFile out;
    EXPECT_TRUE(out.Open(dir.Utf8(L"out"), &error) && out.Write("third", 5, &error));
    EXPECT_TRUE(out.Commit(&error));
    EXPECT_TRUE(ReadText(target) == "third" && dir.Count() == 1);
  }
  {
    // A hard link keeps sharing the contents: the file is rewritten in place.
    const std::wstring link = dir.Wide() + L"link";
    EXPECT_TRUE(::CreateHardLinkW(link.c_str(), target.c_str(), nullptr));
    plat::OutputFile out;
    EXPECT_TRUE(out.Open(dir.Utf8(L"out"), &error) && out.Write("fourth", 6, &error));
    EXPECT_TRUE(out.Commit(&error));
    EXPECT_TRUE(ReadText(target) == "fourth" && ReadText(link) == "fourth" && dir.Count() == 2);
  }
  {
    // Devices are written directly; directories and read-only files refused.
    plat::OutputFile out;
    EXPECT_TRUE(out.Open("NUL", &error) && out.Write("gone", 4, &error) && out.Commit(&error));
    EXPECT_TRUE(!out.Open(dir.Utf8(L""), &error) && error == "is a directory");
    const std::wstring locked = dir.Wide() + L"locked";
    WriteText(locked, "keep");
    ::SetFileAttributesW(locked.c_str(), FILE_ATTRIBUTE_READONLY);
    // Wine keeps the attribute as Unix permissions, which do not stop root: there it opens.
    const HANDLE writer =
        ::CreateFileW(locked.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (writer != INVALID_HANDLE_VALUE) ::CloseHandle(writer);
    if (testsupport::RunningOnWine() && writer != INVALID_HANDLE_VALUE) {
      EXPECT_TRUE(out.Open(dir.Utf8(L"locked"), &error)) << error;
      out.Discard();
    } else {
      EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
      EXPECT_FALSE(out.Open(dir.Utf8(L"locked"), &error));
      EXPECT_TRUE(error.starts_with("cannot be written: ")) << error;
    }
    ::SetFileAttributesW(locked.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_TRUE(ReadText(locked) == "keep");
  }
  const size_t entries = dir.Count();
  EXPECT_TRUE(plat::CanCreateFilesIn(dir.Utf8(L""), &error) && dir.Count() == entries);
  EXPECT_TRUE(!plat::CanCreateFilesIn(dir.Utf8(L"missing"), &error) && !error.empty());
}

TEST(Win32Files, ProcessFacts) {
  const uint64_t current = plat::CurrentResidentBytes();
  EXPECT_TRUE(current > 0 && plat::PeakResidentBytes() >= current);
  plat::ProcessIoBytes before{}, after{};
  EXPECT_TRUE(plat::GetProcessIoBytes(&before));
  {
    ScratchDir dir;
    WriteText(dir.Wide() + L"counted", std::string(1 << 20, 'c'));
  }
  EXPECT_TRUE(plat::GetProcessIoBytes(&after));
  if (testsupport::RunningOnWine()) {
    // Wine's gap: it counts no I/O of the process (the counters stay zero).
    EXPECT_EQ(before.WriteBytes + after.WriteBytes, 0u);
  } else {
    EXPECT_GE(after.WriteBytes, before.WriteBytes + (1 << 20));
  }
}

TEST(Win32Files, ScratchFiles) {
  ScratchDir dir;
  const std::u16string reserved = dir.Utf16(L"reserved");
  EXPECT_TRUE(plat::CreateNewFile(reserved));
  EXPECT_TRUE(!plat::CreateNewFile(reserved) && plat::GetLastError() == ERROR_FILE_EXISTS);
  EXPECT_TRUE(plat::DeleteFile(reserved));

  // A NUL would cut the name short: every call refuses it.
  std::u16string withNul = dir.Utf16(L"a");
  withNul += u'\0';
  withNul += u"b";
  EXPECT_TRUE(!plat::CreateNewFile(withNul) && plat::GetLastError() == ERROR_INVALID_NAME);
  EXPECT_TRUE(plat::OpenTransientFile(withNul) == nullptr &&
              plat::GetLastError() == ERROR_INVALID_NAME);

  // The transient file is exclusive while open and gone once closed.
  const std::wstring name = dir.Wide() + L"transient";
  plat::FileHandle file = plat::OpenTransientFile(dir.Utf16(L"transient"));
  EXPECT_TRUE(file != nullptr && plat::FileUsesDirectIo(file) && !plat::FileUsesUring(file));
  const HANDLE other = ::CreateFileW(name.c_str(), GENERIC_READ,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_TRUE(other == INVALID_HANDLE_VALUE);
  if (other != INVALID_HANDLE_VALUE) ::CloseHandle(other);
  plat::CloseFile(file);
  EXPECT_TRUE(!Exists(name));

  // Opening truncates what the name held.
  WriteText(name, std::string(8192, 'x'));
  file = plat::OpenTransientFile(dir.Utf16(L"transient"));
  Pages buffer(kBlock);
  EXPECT_TRUE(Transfer(file, true, buffer.data, kBlock, 0) == -1 &&
              plat::GetLastError() == ERROR_HANDLE_EOF);
  plat::CloseFile(file);
}

TEST(Win32Files, BlockTransfers) {
  ScratchDir dir;
  plat::FileHandle file = plat::OpenTransientFile(dir.Utf16(L"blocks"));
  EXPECT_TRUE(file != nullptr);
  if (file == nullptr) return;

  // Several writes in flight at once, to places out of order, then read back.
  constexpr int kCount = 8;
  std::vector<Pages*> blocks;
  plat::AsyncIo ios[kCount];
  for (int i = 0; i < kCount; ++i) {
    blocks.push_back(new Pages(kBlock, static_cast<uint8_t>(i + 1)));
    ios[i].Offset = uint64_t{kBlock} * ((i * 5) % kCount);
    EXPECT_TRUE(plat::StartFileWrite(file, blocks[i]->data, kBlock, &ios[i]));
  }
  for (int i = 0; i < kCount; ++i) {
    uint32_t moved = 0;
    EXPECT_TRUE(plat::WaitForIo(file, &ios[i], &moved) && moved == kBlock);
    EXPECT_TRUE(!plat::IsIoPending(file, &ios[i]));
  }
  Pages back(kBlock);
  for (int i = 0; i < kCount; ++i) {
    EXPECT_TRUE(Transfer(file, true, back.data, kBlock, uint64_t{kBlock} * ((i * 5) % kCount)) ==
                kBlock);
    EXPECT_TRUE(std::memcmp(back.data, blocks[i]->data, kBlock) == 0);
  }

  // Reads that reach the end: short, then none at all past it.
  Pages large(2 * kBlock);
  EXPECT_TRUE(Transfer(file, true, large.data, 2 * kBlock, uint64_t{kBlock} * (kCount - 1)) ==
              kBlock);
  EXPECT_TRUE(Transfer(file, true, large.data, kBlock, uint64_t{kBlock} * 100) == -1 &&
              plat::GetLastError() == ERROR_HANDLE_EOF);

  // Growing the file makes the new range readable; it never shrinks it.
  EXPECT_TRUE(plat::SetFileSize(file, uint64_t{kBlock} * (kCount + 2)));
  EXPECT_TRUE(Transfer(file, true, back.data, kBlock, uint64_t{kBlock} * (kCount + 1)) == kBlock);
  EXPECT_TRUE(plat::SetFileSize(file, kBlock));
  EXPECT_TRUE(Transfer(file, true, back.data, kBlock, uint64_t{kBlock} * (kCount - 1)) == kBlock);
  EXPECT_TRUE(std::memcmp(back.data, blocks[3]->data, kBlock) == 0);

  // Unbuffered I/O rules, enforced even where the system would not.
  plat::AsyncIo io;
  io.Offset = 512;
  EXPECT_TRUE(!plat::StartFileRead(file, back.data, kBlock, &io) &&
              plat::GetLastError() == ERROR_INVALID_PARAMETER);
  io.Offset = 0;
  EXPECT_TRUE(!plat::StartFileWrite(file, back.data + 512, 4096, &io) &&
              plat::GetLastError() == ERROR_INVALID_PARAMETER);
  EXPECT_TRUE(!plat::StartFileWrite(file, back.data, 1000, &io) &&
              plat::GetLastError() == ERROR_INVALID_PARAMETER);

  // An injected fault surfaces at completion, with its error.
  plat::InjectFault(plat::FaultSite::kFileWrite, 0, ERROR_IO_DEVICE);
  EXPECT_TRUE(Transfer(file, false, back.data, kBlock, 0) == -1 &&
              plat::GetLastError() == ERROR_IO_DEVICE);
  plat::ClearFaults();

  // Closing waits for transfers still in flight and completes their records.
  for (int i = 0; i < kCount; ++i) {
    ios[i].Offset = uint64_t{kBlock} * i;
    EXPECT_TRUE(plat::StartFileWrite(file, blocks[i]->data, kBlock, &ios[i]));
  }
  plat::CloseFile(file);
  for (int i = 0; i < kCount; ++i) {
    EXPECT_TRUE(ios[i].State == plat::AsyncIo::Phase::kDone && !ios[i].Failed);
    delete blocks[i];
  }
}

TEST(Win32Files, DriveTypes) {
  wchar_t windows[MAX_PATH];
  ASSERT_GE(::GetWindowsDirectoryW(windows, MAX_PATH), 3u);
  const std::u16string drive(reinterpret_cast<const char16_t*>(windows), 2);  // "C:"
  for (const std::u16string& root : {drive + u"\\", drive, drive + u"/"}) {
    EXPECT_TRUE(plat::GetMountRootDriveType(root) == plat::DriveType::kFixed);
  }
  // A folder on the drive is not its root.
  EXPECT_TRUE(plat::GetMountRootDriveType(reinterpret_cast<const char16_t*>(windows)) ==
              plat::DriveType::kNoRootDir);
}

}  // namespace
}  // namespace win32test
