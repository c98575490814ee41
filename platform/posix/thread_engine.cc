// Transfers done with pread/pwrite by one helper thread per file, for systems
// without io_uring. The thread starts with the file's first transfer and
// takes the file's transfers in the order they were started.
#include <unistd.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/no_throw.h"
#include "platform/posix/file_object.h"

namespace plat {
namespace {

class ThreadEngine final : public IoEngine {
 public:
  ThreadEngine(int fd, bool direct) : fd_(fd), direct_(direct) {}

  ~ThreadEngine() override {
    Drain();
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    workReady_.notify_one();
    if (worker_.joinable()) worker_.join();
  }

  bool Submit(AsyncIo* io) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!worker_.joinable()) {
      try {
        worker_ = std::thread(&ThreadEngine::Run, this);
      } catch (const std::system_error& error) {
        SetLastErrorFromErrno(error.code().value());
        return false;
      }
    }
    const bool queued = NoThrow(
        [&] {
          queue_.push_back(io);
          return true;
        },
        OutOfMemoryError);
    if (!queued) return false;
    io->State = AsyncIo::Phase::kPending;
    ++inflight_;
    workReady_.notify_one();
    return true;
  }

  bool IsPending(AsyncIo* io) override {
    std::lock_guard<std::mutex> lock(mutex_);
    return io->State == AsyncIo::Phase::kPending;
  }

  void Wait(AsyncIo* io) override {
    std::unique_lock<std::mutex> lock(mutex_);
    workDone_.wait(lock, [io] { return io->State != AsyncIo::Phase::kPending; });
  }

  void Drain() override {
    std::unique_lock<std::mutex> lock(mutex_);
    workDone_.wait(lock, [this] { return inflight_ == 0; });
  }

  bool UsesUring() const override { return false; }

 private:
  void Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      workReady_.wait(lock, [this] { return stop_ || !queue_.empty(); });
      if (queue_.empty()) return;
      AsyncIo* io = queue_.front();
      queue_.pop_front();
      // The transfer works on a copy, so that the record is only written
      // under the lock, where its owner reads it.
      AsyncIo work = *io;
      lock.unlock();
      Transfer(&work);
      ReleaseCachedTransfer(fd_, direct_, work);
      lock.lock();
      *io = work;
      io->State = AsyncIo::Phase::kDone;
      --inflight_;
      workDone_.notify_all();
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
  std::mutex mutex_;
  std::condition_variable workReady_;
  std::condition_variable workDone_;
  std::deque<AsyncIo*> queue_;  // GUARDED_BY(mutex_)
  unsigned inflight_ = 0;       // GUARDED_BY(mutex_)
  bool stop_ = false;           // GUARDED_BY(mutex_)
  std::thread worker_;
};

}  // namespace

std::unique_ptr<IoEngine> MakeThreadEngine(int fd, bool direct) {
  return std::make_unique<ThreadEngine>(fd, direct);
}

}  // namespace plat
