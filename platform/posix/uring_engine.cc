// Transfers through one io_uring shared by every file of the process, so that
// a file costs one descriptor (its own), however many are open. The ring is
// made with the first file that uses it and goes with the last one: an idle
// process holds no ring.
//
// One mutex guards the submission queue, every record from its submission
// until it completes, and each file's count of transfers in flight. The
// completion queue has one reader at a time, the collector: a thread that
// waits for a transfer and finds no collector becomes it, waits for a
// completion without the mutex (submissions go on meanwhile; the kernel's
// two queues are independent), then accounts every completion that has
// arrived under the mutex and wakes the other waiters. Each completion names
// its record, and the record its file.
//
// A transfer that the system performed only in part is issued again for the
// rest before its record completes.
#include <liburing.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "platform/posix/file_object.h"
#include "platform/posix/mutex.h"

namespace plat {
namespace {

// Submissions are made one at a time, so the submission queue never fills;
// the completion queue has room for every transfer that the files of a
// process keep in flight (two per file), and the kernel holds back any
// overflow rather than drop it.
constexpr unsigned kRingEntries = 16;
constexpr unsigned kCompletionEntries = 4096;

class UringFile;

class SharedRing {
 public:
  SharedRing() = default;
  ~SharedRing() {
    if (ready_) io_uring_queue_exit(&ring_);
  }
  SharedRing(const SharedRing&) = delete;
  SharedRing& operator=(const SharedRing&) = delete;

  // The process's ring, made when there is none. Null with *error (a negated
  // errno) when no ring can be set up.
  static std::shared_ptr<SharedRing> Acquire(int* error);

  bool Submit(UringFile* file, AsyncIo* io);
  bool IsPending(AsyncIo* io);
  void Wait(AsyncIo* io);
  void Drain(UringFile* file);

 private:
  // Zero or a negated errno.
  int Init() {
    io_uring_params params{};
    params.flags = IORING_SETUP_CQSIZE;
    params.cq_entries = kCompletionEntries;
    const int result = io_uring_queue_init_params(kRingEntries, &ring_, &params);
    ready_ = result == 0;
    return result;
  }
  int Issue(AsyncIo* io) REQUIRES(mutex_);
  // Returns once `done` holds or one round of completions has been
  // accounted; `done` is tested with mutex_ held. A transfer that `done`
  // waits for must be in flight.
  template <typename Done>
  void WaitUntil(Done done) REQUIRES(mutex_);
  // Only by the collector, or by any thread while none is collecting.
  void Collect(io_uring_cqe* cqe) REQUIRES(mutex_);
  void CollectReady() REQUIRES(mutex_);

  Mutex mutex_;
  CondVar collected_;
  bool collecting_ GUARDED_BY(mutex_) = false;  // A thread waits on the completion queue.
  bool ready_ = false;
  // Its submission queue is used under mutex_, its completion queue by the
  // collector alone, without the mutex: so the ring as a whole is guarded by
  // neither.
  io_uring ring_{};
};

// The part of one file: its descriptor and its transfers in flight.
class UringFile final : public IoEngine {
 public:
  UringFile(int fd, bool direct, std::shared_ptr<SharedRing> ring)
      : Fd(fd), Direct(direct), ring_(std::move(ring)) {}
  ~UringFile() override { ring_->Drain(this); }

  bool Submit(AsyncIo* io) override { return ring_->Submit(this, io); }
  bool IsPending(AsyncIo* io) override { return ring_->IsPending(io); }
  void Wait(AsyncIo* io) override { ring_->Wait(io); }
  void Drain() override { ring_->Drain(this); }
  bool UsesUring() const override { return true; }

  const int Fd;
  const bool Direct;
  // Guarded by the ring's mutex_, which the analysis cannot name from here.
  unsigned Inflight = 0;

 private:
  std::shared_ptr<SharedRing> ring_;
};

Mutex g_ringMutex;
std::weak_ptr<SharedRing> g_ring GUARDED_BY(g_ringMutex);

std::shared_ptr<SharedRing> SharedRing::Acquire(int* error) {
  MutexLock lock(g_ringMutex);
  std::shared_ptr<SharedRing> ring = g_ring.lock();
  if (ring) return ring;
  ring = std::make_shared<SharedRing>();
  *error = ring->Init();
  if (*error != 0) return nullptr;
  g_ring = ring;
  return ring;
}

bool SharedRing::Submit(UringFile* file, AsyncIo* io) {
  MutexLock lock(mutex_);
  io->Owner = file;
  const int result = Issue(io);
  if (result < 0) {
    SetLastErrorFromErrno(-result);
    return false;
  }
  io->State = AsyncIo::Phase::kPending;
  ++file->Inflight;
  return true;
}

bool SharedRing::IsPending(AsyncIo* io) {
  MutexLock lock(mutex_);
  if (!collecting_) CollectReady();
  return io->State == AsyncIo::Phase::kPending;
}

void SharedRing::Wait(AsyncIo* io) {
  MutexLock lock(mutex_);
  WaitUntil([io] { return io->State != AsyncIo::Phase::kPending; });
}

void SharedRing::Drain(UringFile* file) {
  MutexLock lock(mutex_);
  WaitUntil([file] { return file->Inflight == 0; });
}

template <typename Done>
void SharedRing::WaitUntil(Done done) {
  while (!done()) {
    if (collecting_) {
      collected_.Wait(mutex_);
      continue;
    }
    collecting_ = true;
    mutex_.Unlock();
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
    mutex_.Lock();
    CollectReady();
    collecting_ = false;
    collected_.NotifyAll();
  }
}

int SharedRing::Issue(AsyncIo* io) {
  auto* file = static_cast<UringFile*>(io->Owner);
  io_uring_sqe* sqe = io_uring_get_sqe(&ring_);
  if (sqe == nullptr) return -EBUSY;
  uint8_t* at = io->Buffer + io->Transferred;
  const unsigned length = io->Requested - io->Transferred;
  const uint64_t offset = io->Offset + io->Transferred;
  if (io->IsRead) {
    io_uring_prep_read(sqe, file->Fd, at, length, offset);
  } else {
    io_uring_prep_write(sqe, file->Fd, at, length, offset);
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

void SharedRing::CollectReady() {
  io_uring_cqe* cqe = nullptr;
  while (io_uring_peek_cqe(&ring_, &cqe) == 0) Collect(cqe);
}

void SharedRing::Collect(io_uring_cqe* cqe) {
  auto* io = static_cast<AsyncIo*>(io_uring_cqe_get_data(cqe));
  const long result = cqe->res;
  io_uring_cqe_seen(&ring_, cqe);
  if (io == nullptr) return;  // A neutralised entry (see Issue).
  auto* file = static_cast<UringFile*>(io->Owner);
  if (!AccountTransfer(io, result)) {
    const int reissued = Issue(io);
    if (reissued == 0) return;
    io->Failed = true;
    io->Error = Win32ErrorFromErrno(-reissued);
  }
  ReleaseCachedTransfer(file->Fd, file->Direct, *io);
  io->State = AsyncIo::Phase::kDone;
  --file->Inflight;
}

}  // namespace

std::unique_ptr<IoEngine> MakeUringEngine(int fd, bool direct, bool* refusedForGood) {
  int error = 0;
  std::shared_ptr<SharedRing> ring = SharedRing::Acquire(&error);
  if (ring) return std::make_unique<UringFile>(fd, direct, std::move(ring));
  *refusedForGood = error == -ENOSYS || error == -EPERM || error == -EACCES;
  return nullptr;
}

}  // namespace plat
