// The program's input file on Windows: plain ReadFile calls on a handle
// opened with FILE_FLAG_SEQUENTIAL_SCAN, which makes the cache manager read
// ahead in large pieces on its own, so no thread of ours is needed for that.
#include "platform/input_file.h"

#include <algorithm>

#include "platform/com_types.h"
#include "platform/win32/wide_text.h"

namespace plat {
namespace {

// ReadFile takes a 32-bit count; larger requests are split.
constexpr size_t kMostPerRead = size_t{1} << 30;

}  // namespace

struct InputFile::Impl {
  ~Impl() {
    if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
  }

  HANDLE handle = INVALID_HANDLE_VALUE;
};

InputFile::InputFile() : impl_(std::make_unique<Impl>()) {}

InputFile::~InputFile() = default;

bool InputFile::Open(const std::string& path, std::string* error) {
  std::wstring name;
  if (!WidePathFromUtf8(path, &name)) {
    *error = "cannot open the input file: " + ErrorText(::GetLastError());
    return false;
  }
  // CreateFileW refuses a directory with "access denied", which would
  // mislead; it is told apart first.
  const DWORD attributes = ::GetFileAttributesW(name.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    *error = "is a directory";
    return false;
  }
  // Others may go on reading, writing, renaming or deleting it, as they
  // could on POSIX; in particular the output may replace it when the sort
  // writes over its own input.
  impl_->handle = ::CreateFileW(name.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (impl_->handle == INVALID_HANDLE_VALUE) {
    *error = "cannot open the input file: " + ErrorText(::GetLastError());
    return false;
  }
  return true;
}

ptrdiff_t InputFile::Read(void* data, size_t bytes, std::string* error) {
  auto* to = static_cast<uint8_t*>(data);
  size_t done = 0;
  // A pipe or console gives what it has; reads go on until the request is
  // full or the input ends, as the caller counts on.
  while (done < bytes) {
    DWORD got = 0;
    const DWORD ask = static_cast<DWORD>(std::min(bytes - done, kMostPerRead));
    if (!::ReadFile(impl_->handle, to + done, ask, &got, nullptr)) {
      const DWORD code = ::GetLastError();
      // The writer of a pipe closed its end: the input is complete.
      if (code == ERROR_BROKEN_PIPE) break;
      if (done > 0) break;  // Reported by the next call, which fails at once.
      *error = ErrorText(code);
      return -1;
    }
    if (got == 0) break;
    done += got;
  }
  return static_cast<ptrdiff_t>(done);
}

}  // namespace plat
