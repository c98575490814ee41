// Transfers through one io_uring per file. A file has at most a few transfers
// in flight (a writer or a reader alternates two buffers), so a small ring
// never runs out of entries.
//
// Completions are collected by whichever thread waits or asks, under the
// engine's lock; each completion names its record, whose state is updated
// there. A transfer that the system performed only in part is issued again
// for the rest before its record completes.
#include <liburing.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "platform/posix/file_object.h"

namespace plat {
namespace {

constexpr unsigned kRingEntries = 8;

class UringEngine final : public IoEngine {
 public:
  UringEngine(int fd, bool direct) : fd_(fd), direct_(direct) {}

  ~UringEngine() override {
    if (!ready_) return;
    Drain();
    io_uring_queue_exit(&ring_);
  }

  // Zero or a negated errno.
  int Init() {
    const int result = io_uring_queue_init(kRingEntries, &ring_, 0);
    ready_ = result == 0;
    return result;
  }

  bool Submit(AsyncIo* io) override {
    std::lock_guard<std::mutex> lock(mutex_);
    const int result = Issue(io);
    if (result < 0) {
      SetLastErrorFromErrno(-result);
      return false;
    }
    io->State = AsyncIo::Phase::kPending;
    ++inflight_;
    return true;
  }

  bool IsPending(AsyncIo* io) override {
    std::lock_guard<std::mutex> lock(mutex_);
    io_uring_cqe* cqe = nullptr;
    while (io->State == AsyncIo::Phase::kPending && io_uring_peek_cqe(&ring_, &cqe) == 0) {
      Collect(cqe);
    }
    return io->State == AsyncIo::Phase::kPending;
  }

  void Wait(AsyncIo* io) override {
    std::lock_guard<std::mutex> lock(mutex_);
    while (io->State == AsyncIo::Phase::kPending) CollectOne();
  }

  void Drain() override {
    std::lock_guard<std::mutex> lock(mutex_);
    while (inflight_ > 0) CollectOne();
  }

  bool UsesUring() const override { return true; }

 private:
  // Queues the part of `io` not yet transferred and submits it. Zero or a
  // negated errno. REQUIRES: mutex_ held.
  int Issue(AsyncIo* io) {
    io_uring_sqe* sqe = io_uring_get_sqe(&ring_);
    if (sqe == nullptr) return -EBUSY;
    uint8_t* at = io->Buffer + io->Transferred;
    const unsigned length = io->Requested - io->Transferred;
    const uint64_t offset = io->Offset + io->Transferred;
    if (io->IsRead) {
      io_uring_prep_read(sqe, fd_, at, length, offset);
    } else {
      io_uring_prep_write(sqe, fd_, at, length, offset);
    }
    io_uring_sqe_set_data(sqe, io);
    int result;
    do {
      result = io_uring_submit(&ring_);
    } while (result == -EINTR);
    if (result > 0) return 0;
    // The entry is already visible to the kernel, which takes it with the next
    // submission. Turn it into a no-op that names no record, so that it can
    // never touch this transfer's buffer later.
    io_uring_prep_nop(sqe);
    io_uring_sqe_set_data(sqe, nullptr);
    return result < 0 ? result : -EAGAIN;
  }

  // Blocks until one completion has arrived and accounts it.
  // REQUIRES: mutex_ held, at least one transfer in flight.
  void CollectOne() {
    io_uring_cqe* cqe = nullptr;
    for (;;) {
      const int result = io_uring_wait_cqe(&ring_, &cqe);
      if (result == 0) break;
      if (result == -EINTR || result == -EAGAIN || result == -ETIME) continue;
      // The kernel still owns the buffers of the transfers in flight; going
      // on would let it write into memory that its owner is about to free.
      std::fprintf(stderr, "tolvarine: io_uring wait failed (%d)\n", -result);
      std::abort();
    }
    Collect(cqe);
  }

  // REQUIRES: mutex_ held.
  void Collect(io_uring_cqe* cqe) {
    auto* io = static_cast<AsyncIo*>(io_uring_cqe_get_data(cqe));
    const long result = cqe->res;
    io_uring_cqe_seen(&ring_, cqe);
    if (io == nullptr) return;  // A neutralised entry (see Issue).
    if (!AccountTransfer(io, result)) {
      const int reissued = Issue(io);
      if (reissued == 0) return;
      io->Failed = true;
      io->Error = Win32ErrorFromErrno(-reissued);
    }
    ReleaseCachedBlock(fd_, direct_, *io);
    io->State = AsyncIo::Phase::kDone;
    --inflight_;
  }

  const int fd_;
  const bool direct_;
  bool ready_ = false;
  std::mutex mutex_;
  io_uring ring_{};
  unsigned inflight_ = 0;  // Records pending on this ring. GUARDED_BY(mutex_)
};

}  // namespace

std::unique_ptr<IoEngine> MakeUringEngine(int fd, bool direct, bool* refusedForGood) {
  auto engine = std::make_unique<UringEngine>(fd, direct);
  const int result = engine->Init();
  if (result == 0) return engine;
  *refusedForGood = result == -ENOSYS || result == -EPERM || result == -EACCES;
  return nullptr;
}

}  // namespace plat
