// Scratch files on POSIX. Windows deletes a FILE_FLAG_DELETE_ON_CLOSE file
// when its last handle closes; here the name is unlinked right after the
// open, which gives the same guarantee and also covers a process that dies.
#include "platform/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>

#include "platform/bstr.h"
#include "platform/fault_injection.h"
#include "platform/no_throw.h"
#include "platform/posix/file_object.h"

namespace plat {

bool NativePath(const std::u16string& path, std::string* native) {
  if (path.find(u'\0') != std::u16string::npos) {
    SetLastError(ERROR_INVALID_NAME);
    return false;
  }
  return NoThrow(
      [&] {
        *native = Utf16ToUtf8(path);
        return true;
      },
      OutOfMemoryError);
}

bool CreateNewFile(const std::u16string& path) {
  if (ShouldFail(FaultSite::kFileCreate)) return false;
  std::string native;
  if (!NativePath(path, &native)) return false;
  const int fd = open(native.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) {
    SetLastErrorFromErrno(errno);
    return false;
  }
  close(fd);
  return true;
}

bool DeleteFile(const std::u16string& path) {
  std::string native;
  if (!NativePath(path, &native)) return false;
  if (unlink(native.c_str()) != 0) {
    SetLastErrorFromErrno(errno);
    return false;
  }
  return true;
}

FileHandle OpenTransientFile(const std::u16string& path) {
  if (ShouldFail(FaultSite::kFileCreate)) return nullptr;
  std::string native;
  if (!NativePath(path, &native)) return nullptr;
  constexpr int kFlags = O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC;
  bool direct = true;
  int fd = open(native.c_str(), kFlags | O_DIRECT, 0600);
  if (fd < 0 && errno == EINVAL) {
    // File systems without direct I/O (tmpfs, some FUSE) refuse it at open.
    direct = false;
    fd = open(native.c_str(), kFlags, 0600);
  }
  if (fd < 0) {
    SetLastErrorFromErrno(errno);
    return nullptr;
  }
  if (unlink(native.c_str()) != 0) {
    const int error = errno;
    close(fd);
    SetLastErrorFromErrno(error);
    return nullptr;
  }
  auto* file = new (std::nothrow) FileObject;
  if (file != nullptr) file->Io = MakeIoEngine(fd, direct);
  if (file == nullptr || file->Io == nullptr) {
    delete file;
    close(fd);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  file->Fd = fd;
  file->Direct = direct;
  return file;
}

void CloseFile(FileHandle file) {
  if (file == nullptr) return;
  file->Io.reset();  // Waits for the transfers in flight first.
  close(file->Fd);
  delete file;
}

bool SetFileSize(FileHandle file, uint64_t bytes) {
  const auto length = static_cast<off_t>(bytes);
  if (fallocate(file->Fd, 0, 0, length) == 0) return true;
  if (ftruncate(file->Fd, length) == 0) return true;
  SetLastErrorFromErrno(errno);
  return false;
}

bool FileUsesDirectIo(FileHandle file) {
  return file != nullptr && file->Direct;
}

}  // namespace plat
