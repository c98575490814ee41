// Transfers done with pread/pwrite by one helper thread per file, for systems
// without io_uring. The thread starts with the file's first transfer and
// takes the file's transfers in the order they were started.
#include <unistd.h>

#include <deque>
#include <system_error>
#include <thread>

#include "platform/no_throw.h"
#include "platform/posix/file_object.h"
#include "platform/posix/mutex.h"

namespace plat {
namespace {

class ThreadEngine final : public IoEngine {
 public:
  ThreadEngine(int fd, bool direct) : fd_(fd), direct_(direct) {}

  ~ThreadEngine() override {
    Drain();
    {
      MutexLock lock(mutex_);
      stop_ = true;
    }
    workReady_.NotifyOne();
    if (worker_.joinable()) worker_.join();
  }

  bool Submit(AsyncIo* io) override {
    MutexLock lock(mutex_);
    if (!worker_.joinable()) {
      try {
        worker_ = std::thread(&ThreadEngine::Run, this);
      } catch (const std::system_error& error) {
        SetLastErrorFromErrno(error.code().value());
        return false;
      }
    }
    // The lambda runs at once, under the lock taken above; the analysis
    // checks a lambda apart from its caller and cannot see that.
    const bool queued = NoThrow(
        [&]() NO_THREAD_SAFETY_ANALYSIS {
          queue_.push_back(io);
          return true;
        },
        OutOfMemoryError);
    if (!queued) return false;
    io->State = AsyncIo::Phase::kPending;
    ++inflight_;
    workReady_.NotifyOne();
    return true;
  }

  bool IsPending(AsyncIo* io) override {
    MutexLock lock(mutex_);
    return io->State == AsyncIo::Phase::kPending;
  }

  void Wait(AsyncIo* io) override {
    MutexLock lock(mutex_);
    while (io->State == AsyncIo::Phase::kPending) workDone_.Wait(mutex_);
  }

  void Drain() override {
    MutexLock lock(mutex_);
    while (inflight_ != 0) workDone_.Wait(mutex_);
  }

  bool UsesUring() const override { return false; }

 private:
  void Run() {
    for (;;) {
      AsyncIo* io;
      AsyncIo work;
      {
        MutexLock lock(mutex_);
        while (!stop_ && queue_.empty()) workReady_.Wait(mutex_);
        if (queue_.empty()) return;
        io = queue_.front();
        queue_.pop_front();
        // The transfer works on a copy, so that the record is only written
        // under the lock, where its owner reads it.
        work = *io;
      }
      Transfer(&work);
      ReleaseCachedTransfer(fd_, direct_, work);
      MutexLock lock(mutex_);
      *io = work;
      io->State = AsyncIo::Phase::kDone;
      --inflight_;
      workDone_.NotifyAll();
    }
  }

  void Transfer(AsyncIo* io) const {
    for (;;) {
      uint8_t* at = io->Buffer + io->Transferred;
      const size_t length = io->Requested - io->Transferred;
      const off_t offset = static_cast<off_t>(io->Offset + io->Transferred);
      const ssize_t moved =
          io->IsRead ? pread(fd_, at, length, offset) : pwrite(fd_, at, length, offset);
      if (AccountTransfer(io, moved < 0 ? -static_cast<long>(errno) : static_cast<long>(moved))) {
        return;
      }
    }
  }

  const int fd_;
  const bool direct_;
  Mutex mutex_;
  CondVar workReady_;
  CondVar workDone_;
  std::deque<AsyncIo*> queue_ GUARDED_BY(mutex_);
  unsigned inflight_ GUARDED_BY(mutex_) = 0;
  bool stop_ GUARDED_BY(mutex_) = false;
  std::thread worker_;
};

}  // namespace

std::unique_ptr<IoEngine> MakeThreadEngine(int fd, bool direct) {
  return std::make_unique<ThreadEngine>(fd, direct);
}

}  // namespace plat
