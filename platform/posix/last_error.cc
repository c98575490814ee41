// The thread's last error lives in a thread_local, as Win32 keeps it in the
// thread environment block. errno values are mapped onto the Win32 numbers
// that Windows reports for the same condition, so that a failure yields the
// same HRESULT on every backend. An errno without a close Win32 counterpart
// maps to ERROR_INVALID_FUNCTION: a mapped error is never 0, because callers
// only reach this code after a call has failed.
#include <cerrno>

#include "platform/com_types.h"

namespace plat {
namespace {

// Win32 numbers needed only for the mapping below.
constexpr DWORD kErrorNotSameDevice = 17;
constexpr DWORD kErrorDevNotExist = 55;
constexpr DWORD kErrorSeekOnDevice = 132;
constexpr DWORD kErrorFileTooLarge = 223;
constexpr DWORD kErrorArithmeticOverflow = 534;
constexpr DWORD kErrorOperationAborted = 995;
constexpr DWORD kErrorPossibleDeadlock = 1131;
constexpr DWORD kErrorTooManyLinks = 1142;
constexpr DWORD kErrorNoSystemResources = 1450;
constexpr DWORD kErrorTimeout = 1460;
constexpr DWORD kErrorCantResolveFilename = 1921;

thread_local DWORD t_lastError = ERROR_SUCCESS;

}  // namespace

DWORD GetLastError() {
  return t_lastError;
}

void SetLastError(DWORD error) {
  t_lastError = error;
}

DWORD Win32ErrorFromErrno(int err) {
  switch (err) {
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case EMFILE:
    case ENFILE:
      return ERROR_TOO_MANY_OPEN_FILES;
    case EACCES:
    case EPERM:
    case EISDIR:  // Windows refuses to open a directory as a file this way.
      return ERROR_ACCESS_DENIED;
    case EBADF:
      return ERROR_INVALID_HANDLE;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case EROFS:
      return ERROR_WRITE_PROTECT;
    case ETXTBSY:
      return ERROR_SHARING_VIOLATION;
    case EBUSY:
      return ERROR_BUSY;
    case EEXIST:
      return ERROR_FILE_EXISTS;
    case EINVAL:
      return ERROR_INVALID_PARAMETER;
    case EPIPE:
      return ERROR_BROKEN_PIPE;
    case ENOSPC:
    case EDQUOT:
      return ERROR_DISK_FULL;
    case EFBIG:
      return kErrorFileTooLarge;
    case ENOSYS:
      return ERROR_CALL_NOT_IMPLEMENTED;
    case ENOTSUP:
#if EOPNOTSUPP != ENOTSUP
    case EOPNOTSUPP:
#endif
      return ERROR_NOT_SUPPORTED;
    case ENAMETOOLONG:
      return ERROR_FILENAME_EXCED_RANGE;
    case ENOTEMPTY:
      return ERROR_DIR_NOT_EMPTY;
    case EIO:
      return ERROR_IO_DEVICE;
    case EFAULT:
      return ERROR_NOACCESS;
    case ERANGE:
      return ERROR_INSUFFICIENT_BUFFER;
    case EXDEV:
      return kErrorNotSameDevice;
    case ESPIPE:
      return kErrorSeekOnDevice;
    case EOVERFLOW:
      return kErrorArithmeticOverflow;
    case EINTR:
    case ECANCELED:
      return kErrorOperationAborted;
    case EDEADLK:
      return kErrorPossibleDeadlock;
    case EMLINK:
      return kErrorTooManyLinks;
    case EAGAIN:  // Also EWOULDBLOCK: a resource (threads, I/O slots) ran out.
      return kErrorNoSystemResources;
    case ETIMEDOUT:
      return kErrorTimeout;
    case ELOOP:
      return kErrorCantResolveFilename;
    case ENODEV:
    case ENXIO:
      return kErrorDevNotExist;
    default:
      return ERROR_INVALID_FUNCTION;
  }
}

DWORD SetLastErrorFromErrno(int err) {
  const DWORD error = Win32ErrorFromErrno(err);
  SetLastError(error);
  return error;
}

}  // namespace plat
