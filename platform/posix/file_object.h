// The POSIX file record shared by the file services and the transfer engines.
#pragma once

#include <memory>
#include <string>

#include "platform/async_file.h"
#include "platform/file_system.h"

namespace plat {

// Carries out the transfers of one file. An engine guards the records it has
// been handed with a lock (its own, or that of the ring its files share):
// from Submit until the record is no longer pending, its fields are touched
// only under that lock.
class IoEngine {
 public:
  virtual ~IoEngine() = default;
  // Issues the transfer that `io` describes (Buffer, Requested, IsRead,
  // Offset; Transferred 0) and marks it pending. False with the last error
  // when it cannot be issued; the record is then left as it was.
  virtual bool Submit(AsyncIo* io) = 0;
  virtual bool IsPending(AsyncIo* io) = 0;
  // Returns once `io` is no longer pending.
  virtual void Wait(AsyncIo* io) = 0;
  // Returns once no transfer of this file is pending.
  virtual void Drain() = 0;
  virtual bool UsesUring() const = 0;
};

struct FileObject {
  int Fd = -1;
  bool Direct = false;  // Opened with O_DIRECT.
  std::unique_ptr<IoEngine> Io;
};

// io_uring when available and not switched off by TOLVARINE_NO_URING=1,
// else the helper-thread engine. Null (last error set) only when memory runs
// out.
std::unique_ptr<IoEngine> MakeIoEngine(int fd, bool direct);
// Null when no ring can be set up; *refusedForGood tells whether the system
// refuses io_uring altogether (not built in, or forbidden) rather than for
// the moment (out of memory or descriptors).
std::unique_ptr<IoEngine> MakeUringEngine(int fd, bool direct, bool* refusedForGood);
std::unique_ptr<IoEngine> MakeThreadEngine(int fd, bool direct);

// Accounts the outcome of one system call made for `io`: bytes moved, or a
// negated errno. True when the transfer is complete (its record then holds
// the final Transferred, Failed and Error); false when the rest of it must be
// issued again at Offset + Transferred. A read ends at its first short
// result, which only the end of the file produces; a write goes on until all
// its bytes are written or it fails.
bool AccountTransfer(AsyncIo* io, long result);

// After a completed buffered transfer: drops the transfer's pages from the
// system's file cache, so that scratch data does not crowd out other data.
void ReleaseCachedTransfer(int fd, bool direct, const AsyncIo& io);

// The UTF-8 form of a path. False with ERROR_INVALID_NAME when it holds a NUL
// code unit, ERROR_NOT_ENOUGH_MEMORY when memory runs out.
bool NativePath(const std::u16string& path, std::string* native);

}  // namespace plat
