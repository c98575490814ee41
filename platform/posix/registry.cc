// The registry file: where it lives, reading it, and changing it under a
// file lock with an atomic replace.
#include "platform/registry.h"

#include <errno.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "platform/no_throw.h"
#include "platform/posix/write_all.h"

namespace plat {

namespace {

bool FailFromErrno() {
  SetLastErrorFromErrno(errno);
  return false;
}

std::string ParentDirectory(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// mkdir -p.
bool MakeDirectories(const std::string& directory) {
  struct stat info;
  if (stat(directory.c_str(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) return true;
    errno = ENOTDIR;
    return FailFromErrno();
  }
  if (directory != "/" && directory != ".") {
    if (!MakeDirectories(ParentDirectory(directory))) return false;
  }
  if (mkdir(directory.c_str(), 0755) != 0 && errno != EEXIST) return FailFromErrno();
  return true;
}

// Reads the whole file; a missing file reads as empty.
bool ReadFileText(const std::string& path, std::string* text) {
  text->clear();
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return true;
    return FailFromErrno();
  }
  char buffer[8192];
  while (true) {
    ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      int err = errno;
      close(fd);
      errno = err;
      return FailFromErrno();
    }
    if (got == 0) break;
    text->append(buffer, static_cast<size_t>(got));
  }
  close(fd);
  return true;
}

bool LoadFromFile(const std::string& path, RegistryTree* tree) {
  std::string text;
  return ReadFileText(path, &text) && tree->Parse(text);
}

}  // namespace

bool GetRegistryPath(std::string* path) {
  const char* explicitPath = std::getenv("TOLVARINE_REGISTRY");
  if (explicitPath && *explicitPath) {
    *path = explicitPath;
    return true;
  }
  // XDG: a relative XDG_DATA_HOME is invalid and ignored.
  const char* dataHome = std::getenv("XDG_DATA_HOME");
  if (dataHome && dataHome[0] == '/') {
    *path = std::string(dataHome) + "/tolvarine/registry.reg";
    return true;
  }
  const char* home = std::getenv("HOME");
  std::string homeDirectory;
  if (home && *home) {
    homeDirectory = home;
  } else {
    struct passwd entry;
    struct passwd* result = nullptr;
    char buffer[4096];
    if (getpwuid_r(getuid(), &entry, buffer, sizeof buffer, &result) != 0 || !result ||
        !result->pw_dir) {
      SetLastError(ERROR_PATH_NOT_FOUND);
      return false;
    }
    homeDirectory = result->pw_dir;
  }
  *path = homeDirectory + "/.local/share/tolvarine/registry.reg";
  return true;
}

bool LoadRegistry(RegistryTree* tree) {
  std::string path;
  return GetRegistryPath(&path) && LoadFromFile(path, tree);
}

struct RegistryTransaction::FileLock {
  int Fd = -1;
  ~FileLock() {
    if (Fd >= 0) close(Fd);  // Closing the descriptor drops the flock.
  }
};

RegistryTransaction::RegistryTransaction() = default;
RegistryTransaction::~RegistryTransaction() {
  Abort();
}

bool RegistryTransaction::Begin() {
  Abort();
  if (!GetRegistryPath(&path_) || !MakeDirectories(ParentDirectory(path_))) return false;
  auto lock = std::make_unique<FileLock>();
  lock->Fd = open((path_ + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (lock->Fd < 0) return FailFromErrno();
  // Each transaction opens the lock file afresh, so two transactions exclude
  // each other whether they are in one process or in two.
  while (flock(lock->Fd, LOCK_EX) != 0) {
    if (errno != EINTR) return FailFromErrno();
  }
  RegistryTree tree;
  // A file that cannot be read is never overwritten.
  if (!LoadFromFile(path_, &tree)) return false;
  tree_ = std::move(tree);
  lock_ = std::move(lock);
  return true;
}

bool RegistryTransaction::Commit() {
  if (!lock_) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  // REQUIRES: the lock is held, so the temporary name is ours alone.
  std::string temporary = path_ + ".tmp";
  int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return FailFromErrno();
  const std::string text = tree_.ToText();
  int error = 0;
  if (!WriteAll(fd, text.data(), text.size(), &error) || fsync(fd) != 0) {
    int err = errno;
    close(fd);
    unlink(temporary.c_str());
    errno = err;
    return FailFromErrno();
  }
  if (close(fd) != 0 || rename(temporary.c_str(), path_.c_str()) != 0) {
    int err = errno;
    unlink(temporary.c_str());
    errno = err;
    return FailFromErrno();
  }
  int directory = open(ParentDirectory(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (directory >= 0) {
    fsync(directory);  // Makes the rename durable; a failure here loses nothing already read.
    close(directory);
  }
  return true;
}

void RegistryTransaction::Abort() {
  lock_.reset();
}

struct ClassesRootChange::State {
  RegistryTransaction Transaction;
};

ClassesRootChange::ClassesRootChange() = default;
ClassesRootChange::~ClassesRootChange() = default;

bool ClassesRootChange::Begin() {
  if (!state_ && !NoThrow(
                     [&] {
                       state_ = std::make_unique<State>();
                       return true;
                     },
                     &OutOfMemoryError))
    return false;
  return state_->Transaction.Begin();
}

RegistryKeys& ClassesRootChange::Keys() {
  return state_->Transaction.Tree();
}

bool ClassesRootChange::Commit() {
  return state_->Transaction.Commit();
}

bool ClassesRootChange::ChangesOutliveFailure() {
  return false;
}

}  // namespace plat
