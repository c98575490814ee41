// Scratch files and their block transfers, and drive roots, checked on the
// real system calls; main() runs every group.
#include <cstring>
#include <string>
#include <vector>

#include "platform/async_file.h"
#include "platform/fault_injection.h"
#include "platform/file_system.h"
#include "platform/thread.h"
#include "tests/win32/check.h"

namespace wincheck {
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

void CheckScratchFiles() {
  ScratchDir dir;
  const std::u16string reserved = dir.Utf16(L"reserved");
  CHECK(plat::CreateNewFile(reserved));
  CHECK(!plat::CreateNewFile(reserved) && plat::GetLastError() == ERROR_FILE_EXISTS);
  CHECK(plat::DeleteFile(reserved));
  CHECK(!plat::DeleteFile(reserved) && plat::GetLastError() == ERROR_FILE_NOT_FOUND);

  // A NUL would cut the name short: every call refuses it.
  std::u16string withNul = dir.Utf16(L"a");
  withNul += u'\0';
  withNul += u"b";
  CHECK(!plat::CreateNewFile(withNul) && plat::GetLastError() == ERROR_INVALID_NAME);
  CHECK(!plat::DeleteFile(withNul) && plat::GetLastError() == ERROR_INVALID_NAME);
  CHECK(plat::OpenTransientFile(withNul) == nullptr && plat::GetLastError() == ERROR_INVALID_NAME);
  CHECK(plat::GetMountRootDriveType(withNul) == plat::DriveType::kNoRootDir);

  // The transient file is exclusive while open and gone once closed.
  const std::wstring name = dir.path() + L"transient";
  plat::FileHandle file = plat::OpenTransientFile(dir.Utf16(L"transient"));
  CHECK(file != nullptr && plat::FileUsesDirectIo(file) && !plat::FileUsesUring(file));
  const HANDLE other = ::CreateFileW(name.c_str(), GENERIC_READ,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, 0, nullptr);
  CHECK(other == INVALID_HANDLE_VALUE);
  if (other != INVALID_HANDLE_VALUE) ::CloseHandle(other);
  plat::CloseFile(file);
  CHECK(!Exists(name));
  plat::CloseFile(nullptr);

  // Opening truncates what the name held.
  CHECK(WriteWholeFile(name, std::string(8192, 'x')));
  file = plat::OpenTransientFile(dir.Utf16(L"transient"));
  Pages buffer(kBlock);
  CHECK(Transfer(file, true, buffer.data, kBlock, 0) == -1 &&
        plat::GetLastError() == ERROR_HANDLE_EOF);
  plat::CloseFile(file);

  std::u16string temp;
  CHECK(plat::GetTempPath(&temp) && !temp.empty() && temp.back() == u'\\');
}

void CheckBlockTransfers() {
  ScratchDir dir;
  plat::FileHandle file = plat::OpenTransientFile(dir.Utf16(L"blocks"));
  CHECK(file != nullptr);
  if (file == nullptr) return;

  // Several writes in flight at once, to places out of order, then read back.
  constexpr int kCount = 8;
  std::vector<Pages*> blocks;
  plat::AsyncIo ios[kCount];
  for (int i = 0; i < kCount; ++i) {
    blocks.push_back(new Pages(kBlock, static_cast<uint8_t>(i + 1)));
    ios[i].Offset = uint64_t{kBlock} * ((i * 5) % kCount);
    CHECK(plat::StartFileWrite(file, blocks[i]->data, kBlock, &ios[i]));
  }
  for (int i = 0; i < kCount; ++i) {
    uint32_t moved = 0;
    CHECK(plat::WaitForIo(file, &ios[i], &moved) && moved == kBlock);
    CHECK(!plat::IsIoPending(file, &ios[i]));
  }
  Pages back(kBlock);
  for (int i = 0; i < kCount; ++i) {
    CHECK(Transfer(file, true, back.data, kBlock, uint64_t{kBlock} * ((i * 5) % kCount)) == kBlock);
    CHECK(std::memcmp(back.data, blocks[i]->data, kBlock) == 0);
  }

  // Reads that reach the end: short, then none at all (at and past it).
  Pages large(2 * kBlock);
  CHECK(Transfer(file, true, large.data, 2 * kBlock, uint64_t{kBlock} * (kCount - 1)) == kBlock);
  CHECK(Transfer(file, true, large.data, kBlock, uint64_t{kBlock} * kCount) == -1 &&
        plat::GetLastError() == ERROR_HANDLE_EOF);
  CHECK(Transfer(file, true, large.data, kBlock, uint64_t{kBlock} * 100) == -1 &&
        plat::GetLastError() == ERROR_HANDLE_EOF);

  // Growing the file makes the new range readable; it never shrinks it.
  CHECK(plat::SetFileSize(file, uint64_t{kBlock} * (kCount + 2)));
  CHECK(Transfer(file, true, back.data, kBlock, uint64_t{kBlock} * (kCount + 1)) == kBlock);
  CHECK(plat::SetFileSize(file, kBlock));
  CHECK(Transfer(file, true, back.data, kBlock, uint64_t{kBlock} * (kCount - 1)) == kBlock);
  CHECK(std::memcmp(back.data, blocks[3]->data, kBlock) == 0);

  // Unbuffered I/O rules, enforced even where the system would not.
  plat::AsyncIo io;
  io.Offset = 512;
  CHECK(!plat::StartFileRead(file, back.data, kBlock, &io) &&
        plat::GetLastError() == ERROR_INVALID_PARAMETER);
  io.Offset = 0;
  CHECK(!plat::StartFileWrite(file, back.data + 512, 4096, &io) &&
        plat::GetLastError() == ERROR_INVALID_PARAMETER);
  CHECK(!plat::StartFileWrite(file, back.data, 1000, &io) &&
        plat::GetLastError() == ERROR_INVALID_PARAMETER);
  CHECK(!plat::StartFileWrite(file, back.data, 0, &io));
  CHECK(!plat::IsIoPending(file, &io));
  uint32_t moved = 7;
  CHECK(plat::WaitForIo(file, &io, &moved) && moved == 0);  // Nothing started on it.

  // An injected fault surfaces at completion, with its error.
  plat::InjectFault(plat::FaultSite::kFileWrite, 0, ERROR_IO_DEVICE);
  CHECK(Transfer(file, false, back.data, kBlock, 0) == -1 &&
        plat::GetLastError() == ERROR_IO_DEVICE);
  plat::ClearFaults();

  // Closing waits for transfers still in flight and completes their records.
  for (int i = 0; i < kCount; ++i) {
    ios[i].Offset = uint64_t{kBlock} * i;
    CHECK(plat::StartFileWrite(file, blocks[i]->data, kBlock, &ios[i]));
  }
  plat::CloseFile(file);
  for (int i = 0; i < kCount; ++i) {
    CHECK(ios[i].State == plat::AsyncIo::Phase::kDone && !ios[i].Failed);
    delete blocks[i];
  }
}

void CheckDriveTypes() {
  using plat::DriveType;
  wchar_t windows[MAX_PATH];
  const UINT length = ::GetWindowsDirectoryW(windows, MAX_PATH);
  CHECK(length >= 3);
  const std::u16string drive(reinterpret_cast<const char16_t*>(windows), 2);  // "C:"
  CHECK(plat::GetMountRootDriveType(drive + u"\\") == DriveType::kFixed);
  CHECK(plat::GetMountRootDriveType(drive) == DriveType::kFixed);
  CHECK(plat::GetMountRootDriveType(drive + u"/") == DriveType::kFixed);
  // A folder on the drive is not its root.
  CHECK(plat::GetMountRootDriveType(reinterpret_cast<const char16_t*>(windows)) ==
        DriveType::kNoRootDir);
  CHECK(plat::GetMountRootDriveType(u"") == DriveType::kNoRootDir);
  // Report what this system says of every drive letter in use.
  const DWORD drives = ::GetLogicalDrives();
  for (int letter = 0; letter < 26; ++letter) {
    if (!(drives & (1u << letter))) continue;
    const std::u16string root = {static_cast<char16_t>(u'A' + letter), u':', u'\\'};
    std::printf("drive %c: type %u\n", 'A' + letter,
                static_cast<unsigned>(plat::GetMountRootDriveType(root)));
  }
}

}  // namespace wincheck

int main() {
  using namespace wincheck;
  CheckScratchFiles();
  CheckBlockTransfers();
  CheckDriveTypes();
  CheckInputFile();
  CheckOutputFile();
  CheckProcessFacts();
  std::printf("%d passed, %d failed\n", Counts().passed, Counts().failed);
  return Counts().failed == 0 ? 0 : 1;
}
