#include "platform/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/posix/direct_output.h"
#include "platform/posix/temporary_file.h"
#include "platform/posix/write_all.h"
#include "platform/termination.h"

namespace plat {
namespace {

constexpr int kMaxLinkHops = 40;  // As the kernel's own path lookup allows.
constexpr int kNameAttempts = 100;

std::string ErrnoText(int error) {
  return std::strerror(error);
}

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Follows symbolic links to the file they end at, which may not exist yet.
// *descriptor: a link on the way is one of /proc's links to an open file
// (/dev/stdout leads there), whose text is no path to resolve further.
bool ResolveLinks(std::string path, std::string* resolved, bool* descriptor, std::string* error) {
  *descriptor = false;
  for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
    struct stat status {};
    if (lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) {
      *resolved = std::move(path);
      return true;
    }
    if (path.starts_with("/proc/")) {
      *descriptor = true;
      return true;
    }
    // Links under /proc report no size; a path fits in PATH_MAX.
    std::string target(std::max<size_t>(static_cast<size_t>(status.st_size), 4096) + 1, '\0');
    const ssize_t length = readlink(path.c_str(), target.data(), target.size());
    if (length < 0 || static_cast<size_t>(length) >= target.size()) {
      *error = "cannot read the symbolic link: " + ErrnoText(length < 0 ? errno : ENAMETOOLONG);
      return false;
    }
    target.resize(static_cast<size_t>(length));
    path = target.starts_with('/') ? target : DirectoryOf(path) + "/" + target;
  }
  *error = ErrnoText(ELOOP);
  return false;
}

// Copies all of `from`, from its start, to `to`.
bool CopyContents(int from, int to, int* error) {
  if (lseek(from, 0, SEEK_SET) != 0) {
    *error = errno;
    return false;
  }
  static constexpr size_t kBlock = 1 << 20;
  std::string block(kBlock, '\0');
  for (;;) {
    const ssize_t got = read(from, block.data(), kBlock);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      *error = errno;
      return false;
    }
    if (got == 0) return true;
    if (!WriteAll(to, block.data(), static_cast<size_t>(got), error)) return false;
  }
}

uint32_t DefaultMode() {
  // Read while nothing else runs that could create files meanwhile.
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

}  // namespace

struct OutputFile::Impl {
  enum class Strategy { kNone, kDirect, kReplace, kRewrite };

  ~Impl() { Discard(); }
  bool Open(const std::string& path, std::string* error);
  bool OpenDirect(const std::string& path, int flags, std::string* error);
  bool Write(const void* data, size_t bytes, std::string* error);
  bool Commit(std::string* error);
  bool Replace(std::string* error);
  bool Rewrite(std::string* error);
  bool LinkUnnamed();
  void Discard();

  Strategy strategy_ = Strategy::kNone;
  int fd_ = -1;
  std::string target_;                    // The destination, symbolic links resolved.
  std::string directory_;                 // Its directory.
  std::string namedTemp_;                 // The temporary file's name, while it has one.
  std::unique_ptr<DirectOutput> direct_;  // Writes the temporary file, when it can.
  bool existed_ = false;
  uint32_t owner_ = 0, group_ = 0, mode_ = 0;
};

OutputFile::OutputFile() : impl_(std::make_unique<Impl>()) {}

OutputFile::~OutputFile() = default;

bool OutputFile::Open(const std::string& path, std::string* error) {
  return impl_->Open(path, error);
}

bool OutputFile::Write(const void* data, size_t bytes, std::string* error) {
  return impl_->Write(data, bytes, error);
}

bool OutputFile::Commit(std::string* error) {
  return impl_->Commit(error);
}

void OutputFile::Discard() {
  impl_->Discard();
}

bool OutputFile::Impl::Open(const std::string& path, std::string* error) {
  Discard();
  bool descriptor = false;
  if (!ResolveLinks(path, &target_, &descriptor, error)) return false;
  // Another name of a file this process has open: written as that
  // descriptor would be (truncated, if it is a regular file).
  if (descriptor) return OpenDirect(path, O_TRUNC, error);
  directory_ = DirectoryOf(target_);
  struct stat status {};
  existed_ = stat(target_.c_str(), &status) == 0;
  if (!existed_ && errno != ENOENT) {
    *error = ErrnoText(errno);
    return false;
  }
  if (existed_ && S_ISDIR(status.st_mode)) {
    *error = "is a directory";
    return false;
  }
  if (existed_ && S_ISSOCK(status.st_mode)) {
    *error = "is a socket; write to a file, a device or a FIFO";
    return false;
  }
  if (existed_ && !S_ISREG(status.st_mode)) return OpenDirect(target_, 0, error);
  if (existed_) {
    // Replacing a file this process may not write would be a way around its permissions.
    if (faccessat(AT_FDCWD, target_.c_str(), W_OK, AT_EACCESS) != 0) {
      *error = "cannot be written: " + ErrnoText(errno);
      return false;
    }
    owner_ = status.st_uid;
    group_ = status.st_gid;
    mode_ = status.st_mode & 07777;
  } else {
    mode_ = DefaultMode();
  }
  strategy_ = existed_ && status.st_nlink > 1 ? Strategy::kRewrite : Strategy::kReplace;
  fd_ = CreateTemporaryFile(directory_, &namedTemp_);
  if (fd_ < 0 && errno == EACCES && existed_) {
    // A writable file in a directory this process may not add to can still
    // be rewritten in place, from a temporary file elsewhere.
    const char* temporary = std::getenv("TMPDIR");
    fd_ = CreateTemporaryFile(temporary && *temporary ? temporary : "/tmp", &namedTemp_);
    strategy_ = Strategy::kRewrite;
    if (fd_ < 0) errno = EACCES;
  }
  if (fd_ < 0) {
    *error = "cannot create a file in its directory: " + ErrnoText(errno);
    strategy_ = Strategy::kNone;
    return false;
  }
  // The temporary file is new and empty: it can bypass the page cache.
  direct_ = std::make_unique<DirectOutput>();
  if (!direct_->Start(fd_)) direct_.reset();
  return true;
}

bool OutputFile::Impl::OpenDirect(const std::string& path, int flags, std::string* error) {
  fd_ = open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | flags);
  if (fd_ < 0) {
    *error = "cannot open it for writing: " + ErrnoText(errno);
    return false;
  }
  strategy_ = Strategy::kDirect;
  return true;
}

bool OutputFile::Impl::Write(const void* data, size_t bytes, std::string* error) {
  int code = 0;
  if (direct_ ? direct_->Write(data, bytes, &code) : WriteAll(fd_, data, bytes, &code)) {
    return true;
  }
  *error = "writing failed: " + ErrnoText(code);
  return false;
}

bool OutputFile::Impl::Commit(std::string* error) {
  int code = 0;
  if (direct_ && !direct_->Finish(&code)) {
    *error = "writing failed: " + ErrnoText(code);
    Discard();
    return false;
  }
  bool done = true;
  if (strategy_ == Strategy::kDirect) {
    done = close(fd_) == 0 || errno == EINTR;
    if (!done) *error = "writing failed: " + ErrnoText(errno);
    fd_ = -1;
  } else if (strategy_ == Strategy::kReplace) {
    done = Replace(error);
  } else if (strategy_ == Strategy::kRewrite) {
    done = Rewrite(error);
  }
  Discard();
  return done;
}

bool OutputFile::Impl::Replace(std::string* error) {
  struct stat status {};
  if (fstat(fd_, &status) != 0) {
    *error = ErrnoText(errno);
    return false;
  }
  if (existed_ && (status.st_uid != owner_ || status.st_gid != group_) &&
      fchown(fd_, owner_, group_) != 0) {
    // Only the owner could be kept, by writing into the file itself.
    return Rewrite(error);
  }
  // After fchown, which clears the set-user-ID and set-group-ID bits.
  if (fchmod(fd_, mode_) != 0) {
    *error = "cannot set the mode of the new file: " + ErrnoText(errno);
    return false;
  }
  if (namedTemp_.empty() && !LinkUnnamed()) return Rewrite(error);
  if (rename(namedTemp_.c_str(), target_.c_str()) != 0) {
    *error = "cannot replace it: " + ErrnoText(errno);
    return false;
  }
  RemoveOnTermination(nullptr);
  namedTemp_.clear();
  return true;
}

// Gives the unnamed temporary file a name beside the destination, which
// the rename that follows takes away again.
bool OutputFile::Impl::LinkUnnamed() {
  const std::string self = "/proc/self/fd/" + std::to_string(fd_);
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    std::string name = TemporaryName(directory_);
    // Through /proc the link needs no privilege; AT_EMPTY_PATH serves
    // where /proc is not mounted, for a privileged process.
    if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) != 0 &&
        (errno == EEXIST || linkat(fd_, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) != 0)) {
      if (errno == EEXIST) continue;
      return false;
    }
    namedTemp_ = std::move(name);
    if (!RemoveOnTermination(namedTemp_.c_str())) {
      RemoveTemporaryFile(&namedTemp_);
      return false;
    }
    return true;
  }
  return false;
}

bool OutputFile::Impl::Rewrite(std::string* error) {
  const int flags = O_WRONLY | O_TRUNC | O_NOCTTY | O_CLOEXEC | (existed_ ? 0 : O_CREAT | O_EXCL);
  const int destination = open(target_.c_str(), flags, mode_);
  if (destination < 0) {
    *error = "cannot open it for writing: " + ErrnoText(errno);
    return false;
  }
  int code = 0;
  bool copied = CopyContents(fd_, destination, &code);
  if (close(destination) != 0 && copied && errno != EINTR) {
    copied = false;
    code = errno;
  }
  if (!copied) *error = "copying the new contents into it failed: " + ErrnoText(code);
  return copied;
}

void OutputFile::Impl::Discard() {
  direct_.reset();
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  RemoveTemporaryFile(&namedTemp_);
  strategy_ = Strategy::kNone;
}

bool CanCreateFilesIn(const std::string& directory, std::string* error) {
  std::string name;
  const int fd = CreateTemporaryFile(directory, &name);
  if (fd < 0) {
    *error = ErrnoText(errno);
    return false;
  }
  close(fd);
  RemoveTemporaryFile(&name);
  return true;
}

}  // namespace plat
