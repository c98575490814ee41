#include "platform/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

#include "platform/heap.h"
#include "platform/posix/mutex.h"

namespace plat {
namespace {

// Smaller files are read through the cache, where they may well be already.
constexpr uint64_t kLeastDirectBytes = uint64_t{64} << 20;
// A multiple of every logical block size, so every read but the last one
// ends on a block boundary as direct I/O needs.
constexpr size_t kPieceBytes = size_t{4} << 20;

ssize_t ReadAt(int fd, void* data, size_t bytes, uint64_t offset) {
  ssize_t got;
  do {
    got = pread(fd, data, bytes, static_cast<off_t>(offset));
  } while (got < 0 && errno == EINTR);
  return got;
}

bool PlainReads(int fd) {
  const int flags = fcntl(fd, F_GETFL);
  return flags >= 0 && (flags & O_DIRECT) && fcntl(fd, F_SETFL, flags & ~O_DIRECT) == 0;
}

// Fills `data` as far as the file goes; -1 (errno set) on any failure, so
// that a failure is never taken for the end of the file.
ssize_t ReadFully(int fd, uint8_t* data, size_t bytes, uint64_t offset) {
  size_t done = 0;
  while (done < bytes) {
    const ssize_t got = ReadAt(fd, data + done, bytes - done, offset + done);
    // A file system may take O_DIRECT at open and refuse the reads.
    if (got < 0 && errno == EINVAL && PlainReads(fd)) continue;
    if (got < 0) return -1;
    if (got == 0) break;
    done += static_cast<size_t>(got);
    // Direct I/O cannot go on from a short read that ended off a block
    // boundary; plain reads can.
    if (done < bytes && done % 4096 != 0) PlainReads(fd);
  }
  return static_cast<ssize_t>(done);
}

// Two pieces: the reader thread fills one while the caller takes bytes out
// of the other. All fields but the caller's position are guarded by mutex.
struct ReadAhead {
  struct Piece {
    uint8_t* data = nullptr;
    size_t bytes = 0;
    int error = 0;
    bool full = false;  // Filled and not yet taken out by the caller.
    bool last = false;  // The end of the file or a failure.
  };

  explicit ReadAhead(int descriptor) : fd(descriptor) {}
  ~ReadAhead() {
    {
      MutexLock lock(mutex);
      stop = true;
    }
    changed.NotifyAll();
    if (thread.joinable()) thread.join();
    for (Piece& piece : pieces) PageFree(piece.data, kPieceBytes);
  }

  bool Start() {
    for (Piece& piece : pieces) {
      piece.data = static_cast<uint8_t*>(PageAlloc(kPieceBytes));
      if (!piece.data) return false;
    }
    try {
      thread = std::thread([this] { Run(); });
    } catch (...) {
      return false;
    }
    return true;
  }

  void Run() {
    uint64_t offset = 0;
    for (size_t next = 0;; next ^= 1) {
      Piece& piece = pieces[next];
      {
        MutexLock lock(mutex);
        while (!stop && piece.full) changed.Wait(mutex);
        if (stop) return;
      }
      const ssize_t got = ReadFully(fd, piece.data, kPieceBytes, offset);
      {
        MutexLock lock(mutex);
        piece.bytes = got > 0 ? static_cast<size_t>(got) : 0;
        piece.error = got < 0 ? errno : 0;
        piece.last = got < static_cast<ssize_t>(kPieceBytes);
        piece.full = true;
      }
      changed.NotifyAll();
      if (got < static_cast<ssize_t>(kPieceBytes)) return;
      offset += kPieceBytes;
    }
  }

  ptrdiff_t Read(void* data, size_t bytes, std::string* error) {
    auto* to = static_cast<uint8_t*>(data);
    size_t done = 0;
    while (done < bytes && !ended) {
      Piece& piece = pieces[current];
      {
        MutexLock lock(mutex);
        while (!piece.full) changed.Wait(mutex);
      }
      // The piece is the caller's until it is handed back below. A failed
      // one is never handed back: every later call fails too.
      if (piece.error != 0) {
        if (done > 0) return static_cast<ptrdiff_t>(done);
        *error = std::strerror(piece.error);
        return -1;
      }
      const size_t part = std::min(bytes - done, piece.bytes - position);
      std::memcpy(to + done, piece.data + position, part);
      done += part;
      position += part;
      if (position < piece.bytes) continue;
      ended = piece.last;
      position = 0;
      current ^= 1;
      {
        MutexLock lock(mutex);
        piece.full = false;
      }
      changed.NotifyAll();
    }
    return static_cast<ptrdiff_t>(done);
  }

  const int fd;
  Mutex mutex;
  CondVar changed;
  Piece pieces[2];  // Each one's `full` is guarded by mutex.
  bool stop GUARDED_BY(mutex) = false;
  std::thread thread;
  // The caller's alone.
  size_t current = 0, position = 0;
  bool ended = false;
};

}  // namespace

struct InputFile::Impl {
  ~Impl() {
    ahead.reset();  // Its thread reads fd until it is joined.
    if (fd >= 0) close(fd);
  }

  int fd = -1;
  std::unique_ptr<ReadAhead> ahead;  // Null: plain reads.
};

InputFile::InputFile() : impl_(std::make_unique<Impl>()) {}

InputFile::~InputFile() = default;

bool InputFile::Open(const std::string& path, std::string* error) {
  impl_->fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat status {};
  if (impl_->fd < 0 || fstat(impl_->fd, &status) != 0) {
    *error = "cannot open the input file: " + std::string(std::strerror(errno));
    return false;
  }
  if (S_ISDIR(status.st_mode)) {
    *error = "is a directory";
    return false;
  }
  if (!S_ISREG(status.st_mode) || static_cast<uint64_t>(status.st_size) < kLeastDirectBytes) {
    return true;
  }
  const int flags = fcntl(impl_->fd, F_GETFL);
  if (flags < 0 || fcntl(impl_->fd, F_SETFL, flags | O_DIRECT) != 0) return true;
  impl_->ahead = std::make_unique<ReadAhead>(impl_->fd);
  if (!impl_->ahead->Start()) {
    impl_->ahead.reset();
    fcntl(impl_->fd, F_SETFL, flags);
  }
  return true;
}

ptrdiff_t InputFile::Read(void* data, size_t bytes, std::string* error) {
  if (impl_->ahead) return impl_->ahead->Read(data, bytes, error);
  for (;;) {
    const ssize_t got = read(impl_->fd, data, bytes);
    if (got >= 0) return got;
    if (errno != EINTR) {
      *error = std::strerror(errno);
      return -1;
    }
  }
}

}  // namespace plat
