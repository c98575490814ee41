// Scratch files on Windows. A transient file is opened with
// FILE_FLAG_DELETE_ON_CLOSE and no sharing: the system removes it when its
// handle closes, also when the process dies, and nothing else can open it
// meanwhile. FILE_FLAG_NO_BUFFERING keeps the scratch data out of the file
// cache, and FILE_FLAG_OVERLAPPED lets several blocks be in flight at once.
#include "platform/file_system.h"

#include <new>

#include "platform/fault_injection.h"
#include "platform/win32/file_object.h"
#include "platform/win32/wide_text.h"

namespace plat {
namespace {

// SetFileValidData needs SE_MANAGE_VOLUME_NAME enabled on the process token.
// Administrators hold it disabled; enabling it grants nothing the token does
// not already hold. With it, extending a file skips the zeroing of the new
// range on the first write past the old end, which otherwise costs a full
// extra write of every scratch byte. The stale disk contents that the file
// then covers are never read: the file is shared with no one, and the scratch
// code reads only blocks that it has written.
bool EnableManageVolumePrivilege() {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
    return false;
  }
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  bool enabled = ::LookupPrivilegeValueW(nullptr, L"SeManageVolumePrivilege",
                                         &privileges.Privileges[0].Luid) &&
                 ::AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr) &&
                 ::GetLastError() == ERROR_SUCCESS;  // Not ERROR_NOT_ALL_ASSIGNED.
  ::CloseHandle(token);
  return enabled;
}

// Asked once per process; the answer does not change while it runs.
bool MaySetValidData() {
  static const bool allowed = [] {
    const DWORD saved = ::GetLastError();
    const bool enabled = EnableManageVolumePrivilege();
    ::SetLastError(saved);
    return enabled;
  }();
  return allowed;
}

}  // namespace

bool CreateNewFile(const std::u16string& path) {
  if (ShouldFail(FaultSite::kFileCreate)) return false;
  const wchar_t* name = WidePath(path);
  if (name == nullptr) return false;
  const HANDLE handle =
      ::CreateFileW(name, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  ::CloseHandle(handle);
  return true;
}

bool DeleteFile(const std::u16string& path) {
  const wchar_t* name = WidePath(path);
  return name != nullptr && ::DeleteFileW(name);
}

FileHandle OpenTransientFile(const std::u16string& path) {
  if (ShouldFail(FaultSite::kFileCreate)) return nullptr;
  const wchar_t* name = WidePath(path);
  if (name == nullptr) return nullptr;
  auto* file = new (std::nothrow) FileObject;
  if (file == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  constexpr DWORD kFlags =
      FILE_FLAG_NO_BUFFERING | FILE_FLAG_OVERLAPPED | FILE_FLAG_DELETE_ON_CLOSE;
  file->Handle = ::CreateFileW(name, GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | kFlags, nullptr);
  if (file->Handle == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    delete file;
    SetLastError(error);
    return nullptr;
  }
  return file;
}

void CloseFile(FileHandle file) {
  if (file == nullptr) return;
  FinishTransfers(file);
  ::CloseHandle(file->Handle);
  delete file;
}

bool SetFileSize(FileHandle file, uint64_t bytes) {
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(file->Handle, &size)) return false;
  if (bytes <= static_cast<uint64_t>(size.QuadPart)) return true;
  LARGE_INTEGER end{};
  end.QuadPart = static_cast<LONGLONG>(bytes);
  if (!::SetFilePointerEx(file->Handle, end, nullptr, FILE_BEGIN) ||
      !::SetEndOfFile(file->Handle)) {
    return false;
  }
  // Without it (no privilege, or a file system such as FAT that has no valid
  // data length) the file is extended all the same, only slower to fill.
  if (MaySetValidData()) ::SetFileValidData(file->Handle, end.QuadPart);
  return true;
}

bool FileUsesDirectIo(FileHandle file) {
  return file != nullptr;
}

}  // namespace plat
