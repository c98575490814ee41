// Scratch files and their block transfers, and drive roots, on the real
// system calls.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/async_file.h"
#include "platform/fault_injection.h"
#include "platform/file_system.h"
#include "tests/platform/win32/win32_files.h"

namespace win32test {
namespace {

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

// Starts a transfer and waits for it; the bytes moved, or -1 with the last
// error from WaitForIo.
long Transfer(plat::FileHandle file, bool read, void* buffer, uint32_t bytes, uint64_t offset) {
  plat::AsyncIo io;
  io.Offset = offset;
  const bool started = read ? plat::StartFileRead(file, buffer, bytes, &io)
                            : plat::StartFileWrite(file, buffer, bytes, &io);
  if (!started) return -2;
  uint32_t moved = 0;
  return plat::WaitForIo(file, &io, &moved) ? static_cast<long>(moved) : -1;
}

}  // namespace

TEST(Win32Files, ScratchFiles) {
  ScratchDir dir;
  const std::u16string reserved = dir.Utf16(L"reserved");
  EXPECT_TRUE(plat::CreateNewFile(reserved));
  EXPECT_TRUE(!plat::CreateNewFile(reserved) && plat::GetLastError() == ERROR_FILE_EXISTS);
  EXPECT_TRUE(plat::DeleteFile(reserved));
  EXPECT_TRUE(!plat::DeleteFile(reserved) && plat::GetLastError() == ERROR_FILE_NOT_FOUND);

  // A NUL would cut the name short: every call refuses it.
  std::u16string withNul = dir.Utf16(L"a");
  withNul += u'\0';
  withNul += u"b";
  EXPECT_TRUE(!plat::CreateNewFile(withNul) && plat::GetLastError() == ERROR_INVALID_NAME);
  EXPECT_TRUE(!plat::DeleteFile(withNul) && plat::GetLastError() == ERROR_INVALID_NAME);
  EXPECT_TRUE(plat::OpenTransientFile(withNul) == nullptr && plat::GetLastError() == ERROR_INVALID_NAME);
  EXPECT_TRUE(plat::GetMountRootDriveType(withNul) == plat::DriveType::kNoRootDir);

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
  plat::CloseFile(nullptr);

  // Opening truncates what the name held.
  WriteText(name, std::string(8192, 'x'));
  file = plat::OpenTransientFile(dir.Utf16(L"transient"));
  Pages buffer(kBlock);
  EXPECT_TRUE(Transfer(file, true, buffer.data, kBlock, 0) == -1 &&
        plat::GetLastError() == ERROR_HANDLE_EOF);
  plat::CloseFile(file);

  std::u16string temp;
  EXPECT_TRUE(plat::GetTempPath(&temp) && !temp.empty() && temp.back() == u'\\');
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
    EXPECT_TRUE(Transfer(file, true, back.data, kBlock, uint64_t{kBlock} * ((i * 5) % kCount)) == kBlock);
    EXPECT_TRUE(std::memcmp(back.data, blocks[i]->data, kBlock) == 0);
  }

  // Reads that reach the end: short, then none at all (at and past it).
  Pages large(2 * kBlock);
  EXPECT_TRUE(Transfer(file, true, large.data, 2 * kBlock, uint64_t{kBlock} * (kCount - 1)) == kBlock);
  EXPECT_TRUE(Transfer(file, true, large.data, kBlock, uint64_t{kBlock} * kCount) == -1 &&
        plat::GetLastError() == ERROR_HANDLE_EOF);
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
  EXPECT_TRUE(!plat::StartFileWrite(file, back.data, 0, &io));
  EXPECT_TRUE(!plat::IsIoPending(file, &io));
  uint32_t moved = 7;
  EXPECT_TRUE(plat::WaitForIo(file, &io, &moved) && moved == 0);  // Nothing started on it.

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
  using plat::DriveType;
  wchar_t windows[MAX_PATH];
  const UINT length = ::GetWindowsDirectoryW(windows, MAX_PATH);
  EXPECT_TRUE(length >= 3);
  const std::u16string drive(reinterpret_cast<const char16_t*>(windows), 2);  // "C:"
  EXPECT_TRUE(plat::GetMountRootDriveType(drive + u"\\") == DriveType::kFixed);
  EXPECT_TRUE(plat::GetMountRootDriveType(drive) == DriveType::kFixed);
  EXPECT_TRUE(plat::GetMountRootDriveType(drive + u"/") == DriveType::kFixed);
  // A folder on the drive is not its root.
  EXPECT_TRUE(plat::GetMountRootDriveType(reinterpret_cast<const char16_t*>(windows)) ==
        DriveType::kNoRootDir);
  EXPECT_TRUE(plat::GetMountRootDriveType(u"") == DriveType::kNoRootDir);
  // Every drive letter in use has a type the backend knows.
  const DWORD drives = ::GetLogicalDrives();
  for (int letter = 0; letter < 26; ++letter) {
    if (!(drives & (1u << letter))) continue;
    const std::u16string root = {static_cast<char16_t>(u'A' + letter), u':', u'\\'};
    EXPECT_NE(plat::GetMountRootDriveType(root), DriveType::kNoRootDir) << char('A' + letter);
  }
}

}  // namespace win32test
