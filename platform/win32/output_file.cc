// The program's output file on Windows. A regular file, or a new one, is
// written to a temporary file beside it and moved over it in Commit
// (MoveFileExW with MOVEFILE_REPLACE_EXISTING, within one volume); a file
// with several hard links, or one in a directory this process may not add
// files to, is instead rewritten in place from the temporary file (which
// then lies in the temporary directory), and so is one that another program
// holds open without letting it be replaced. A device ("CON", "NUL", a
// serial port) or a pipe is written directly. Symbolic links and junctions
// are followed: the file they lead to is the destination.
#include "platform/output_file.h"

#include <algorithm>
#include <atomic>
#include <new>
#include <vector>

#include "platform/bstr.h"
#include "platform/com_types.h"
#include "platform/termination.h"
#include "platform/thread.h"
#include "platform/win32/wide_text.h"

namespace plat {
namespace {

constexpr int kNameAttempts = 100;
constexpr DWORD kMostPerTransfer = DWORD{1} << 30;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The directory part of `path`, kept with its separator so that a name can be
// appended as it is: "C:\out\" for "C:\out\x", "C:" for the
// drive-relative "C:x", "" for a bare name.
std::wstring DirectoryOf(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  if (slash != std::wstring::npos) return path.substr(0, slash + 1);
  if (path.size() >= 2 && path[1] == L':') return path.substr(0, 2);
  return std::wstring();
}

// The same form for a directory given by its own name.
std::wstring AsDirectory(std::wstring directory) {
  if (!directory.empty() && directory.back() != L'\\' && directory.back() != L'/' &&
      directory.back() != L':') {
    directory.push_back(L'\\');
  }
  return directory;
}

// A short name unlikely to be taken; CREATE_NEW settles any collision.
std::wstring TemporaryLeaf() {
  static std::atomic<uint64_t> counter{0};
  LARGE_INTEGER now{};
  ::QueryPerformanceCounter(&now);
  uint64_t mix = static_cast<uint64_t>(now.QuadPart) ^ (uint64_t{::GetCurrentProcessId()} << 32) ^
                 (counter.fetch_add(1) * 0x9E3779B97F4A7C15u);
  mix ^= mix >> 31;
  mix *= 0xBF58476D1CE4E5B9u;
  mix ^= mix >> 29;
  std::wstring leaf = L".tolvarine-";
  for (int shift = 28; shift >= 0; shift -= 4)
    leaf.push_back(L"0123456789abcdef"[(mix >> shift) & 15]);
  return leaf;
}

// Creates a new, empty file in `directory` (a prefix from DirectoryOf or
// AsDirectory) for reading and writing; its name goes to *name. Invalid
// handle with the last error set.
HANDLE CreateTemporary(const std::wstring& directory, DWORD flags, std::wstring* name) {
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    *name = directory + TemporaryLeaf();
    const HANDLE handle =
        ::CreateFileW(name->c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                      FILE_ATTRIBUTE_NORMAL | flags, nullptr);
    if (handle != INVALID_HANDLE_VALUE || ::GetLastError() != ERROR_FILE_EXISTS) return handle;
  }
  return INVALID_HANDLE_VALUE;
}

// Writes every byte to `handle`; false with the last error set.
bool WriteAll(HANDLE handle, const void* data, size_t bytes) {
  const auto* from = static_cast<const uint8_t*>(data);
  while (bytes > 0) {
    DWORD written = 0;
    const DWORD ask = static_cast<DWORD>(std::min<size_t>(bytes, kMostPerTransfer));
    if (!::WriteFile(handle, from, ask, &written, nullptr)) return false;
    if (written == 0) {
      ::SetLastError(ERROR_DISK_FULL);
      return false;
    }
    from += written;
    bytes -= written;
  }
  return true;
}

// Copies all of `from`, from its start, to `to`; false with the last error.
bool CopyContents(HANDLE from, HANDLE to) {
  static constexpr DWORD kBlock = DWORD{1} << 20;
  std::vector<uint8_t> block(kBlock);
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(from, block.data(), kBlock, &got, nullptr)) return false;
    if (got == 0) return true;
    if (!WriteAll(to, block.data(), got)) return false;
  }
}

}  // namespace

struct OutputFile::Impl {
  enum class Strategy { kNone, kDirect, kReplace, kRewrite };

  ~Impl() { Discard(); }
  bool Open(const std::string& path, std::string* error);
  bool Commit(std::string* error);
  bool Rewrite(std::string* error);
  void Discard();

  Strategy strategy = Strategy::kNone;
  HANDLE handle = INVALID_HANDLE_VALUE;
  std::wstring target;  // The destination, links resolved.
  std::wstring temp;    // The temporary file's name, while it exists.
};

bool OutputFile::Impl::Open(const std::string& path, std::string* error) {
  Discard();
  if (!WidePathFromUtf8(path, &target)) {
    *error = ErrorText(::GetLastError());
    return false;
  }
  const DWORD attributes = ::GetFileAttributesW(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    *error = "is a directory";
    return false;
  }
  // Opening it for writing, without changing it, tells whether it exists,
  // whether this process may write it (replacing a file it may not write
  // would be a way around its permissions) and what kind of file it is.
  const HANDLE probe = ::CreateFileW(target.c_str(), GENERIC_WRITE, kShareAll, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  const bool existed = probe != INVALID_HANDLE_VALUE;
  const DWORD openError = existed ? ERROR_SUCCESS : ::GetLastError();
  if (!existed && openError != ERROR_FILE_NOT_FOUND) {
    *error = "cannot be written: " + ErrorText(openError);
    return false;
  }
  strategy = Strategy::kReplace;
  if (existed) {
    if (::GetFileType(probe) != FILE_TYPE_DISK) {
      handle = probe;
      strategy = Strategy::kDirect;
      return true;
    }
    BY_HANDLE_FILE_INFORMATION information{};
    if (::GetFileInformationByHandle(probe, &information) && information.nNumberOfLinks > 1) {
      strategy = Strategy::kRewrite;
    }
    std::wstring resolved(32768, L'\0');
    const DWORD length = ::GetFinalPathNameByHandleW(probe, resolved.data(), resolved.size(),
                                                     FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length > 0 && length < resolved.size()) target.assign(resolved.data(), length);
    ::CloseHandle(probe);
  }
  handle = CreateTemporary(DirectoryOf(target), 0, &temp);
  if (handle == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_ACCESS_DENIED && existed) {
    // A writable file in a directory this process may not add to can still
    // be rewritten in place, from a temporary file elsewhere.
    std::u16string directory;
    if (GetTempPath(&directory)) {
      handle = CreateTemporary(reinterpret_cast<const wchar_t*>(directory.c_str()), 0, &temp);
    }
    strategy = Strategy::kRewrite;
    if (handle == INVALID_HANDLE_VALUE) ::SetLastError(ERROR_ACCESS_DENIED);
  }
  if (handle == INVALID_HANDLE_VALUE) {
    *error = "cannot create a file in its directory: " + ErrorText(::GetLastError());
    temp.clear();
    strategy = Strategy::kNone;
    return false;
  }
  // Registration fails only for a name longer than any the system takes.
  const std::string name =
      Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(temp.data()), temp.size()));
  RemoveOnTermination(name.c_str());
  return true;
}

bool OutputFile::Impl::Commit(std::string* error) {
  bool done = true;
  if (strategy == Strategy::kReplace) {
    ::CloseHandle(handle);
    handle = INVALID_HANDLE_VALUE;
    if (::MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
      RemoveOnTermination(nullptr);
      temp.clear();
    } else {
      const DWORD code = ::GetLastError();
      // Another program has the destination open without letting it be
      // replaced (or it is read-only to renames): its contents can still be
      // rewritten, which that program may allow.
      if (code == ERROR_ACCESS_DENIED || code == ERROR_SHARING_VIOLATION) {
        done = Rewrite(error);
      } else {
        done = false;
        *error = "cannot replace it: " + ErrorText(code);
      }
    }
  } else if (strategy == Strategy::kRewrite) {
    done = Rewrite(error);
  } else if (strategy == Strategy::kDirect) {
    done = ::CloseHandle(handle);
    handle = INVALID_HANDLE_VALUE;
    if (!done) *error = "writing failed: " + ErrorText(::GetLastError());
  }
  Discard();
  return done;
}

bool OutputFile::Impl::Rewrite(std::string* error) {
  if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
  handle = ::CreateFileW(temp.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                         FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    *error = "cannot read the new contents back: " + ErrorText(::GetLastError());
    return false;
  }
  // TRUNCATE_EXISTING keeps the file itself, with its links, attributes and
  // security.
  const HANDLE destination = ::CreateFileW(target.c_str(), GENERIC_WRITE, kShareAll, nullptr,
                                           TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (destination == INVALID_HANDLE_VALUE) {
    *error = "cannot open it for writing: " + ErrorText(::GetLastError());
    return false;
  }
  bool copied = CopyContents(handle, destination);
  DWORD code = copied ? ERROR_SUCCESS : ::GetLastError();
  if (!::CloseHandle(destination) && copied) {
    copied = false;
    code = ::GetLastError();
  }
  if (!copied) *error = "copying the new contents into it failed: " + ErrorText(code);
  return copied;
}

void OutputFile::Impl::Discard() {
  if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
  handle = INVALID_HANDLE_VALUE;
  if (!temp.empty()) {
    ::DeleteFileW(temp.c_str());
    RemoveOnTermination(nullptr);
    temp.clear();
  }
  strategy = Strategy::kNone;
}

OutputFile::OutputFile() : impl_(std::make_unique<Impl>()) {}

OutputFile::~OutputFile() = default;

bool OutputFile::Open(const std::string& path, std::string* error) {
  return impl_->Open(path, error);
}

bool OutputFile::Write(const void* data, size_t bytes, std::string* error) {
  if (WriteAll(impl_->handle, data, bytes)) return true;
  *error = "writing failed: " + ErrorText(::GetLastError());
  return false;
}

bool OutputFile::Commit(std::string* error) {
  return impl_->Commit(error);
}

void OutputFile::Discard() {
  impl_->Discard();
}

bool CanCreateFilesIn(const std::string& directory, std::string* error) {
  std::wstring wide;
  std::wstring name;
  HANDLE handle = INVALID_HANDLE_VALUE;
  if (WidePathFromUtf8(directory, &wide)) {
    // Removed by the system as it is closed.
    handle = CreateTemporary(AsDirectory(std::move(wide)), FILE_FLAG_DELETE_ON_CLOSE, &name);
  }
  if (handle == INVALID_HANDLE_VALUE) {
    *error = ErrorText(::GetLastError());
    return false;
  }
  ::CloseHandle(handle);
  return true;
}

}  // namespace plat
