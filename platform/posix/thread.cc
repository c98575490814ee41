// Threads are pthreads behind a handle shared, by reference count, between
// the creator and the thread itself: CloseThread on a thread still running
// detaches it, and the thread's own reference keeps the record alive until it
// has stored its exit code. Joining is serialised per handle, so a second
// JoinThread returns the stored exit code instead of joining twice.
//
// Processor numbers count the processors this process may run on (its
// affinity mask when first asked), so processor i is the i-th allowed CPU and
// ProcessorCount agrees with it even inside a restricted cpuset.
#include "platform/thread.h"

#include <pthread.h>
#include <sched.h>
#include <sys/sysinfo.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "platform/bstr.h"
#include "platform/fault_injection.h"
#include "platform/no_throw.h"
#include "platform/posix/mutex.h"

namespace plat {

struct ThreadObject {
  ThreadObject(ThreadProc p, void* a) : proc(p), argument(a) {}

  const ThreadProc proc;
  void* const argument;
  pthread_t thread{};
  std::atomic<uint32_t> references{2};  // The handle's and the thread's own.
  std::atomic<uint32_t> exitCode{0};
  Mutex joinMutex;
  bool joined GUARDED_BY(joinMutex) = false;
  bool detached GUARDED_BY(joinMutex) = false;
};

namespace {

void DropReference(ThreadObject* thread) {
  if (thread->references.fetch_sub(1, std::memory_order_acq_rel) == 1) delete thread;
}

void* ThreadStart(void* argument) {
  auto* thread = static_cast<ThreadObject*>(argument);
  thread->exitCode.store(thread->proc(thread->argument), std::memory_order_release);
  DropReference(thread);
  return nullptr;
}

// The CPUs the process may use, in ascending order; read once.
const std::vector<int>& AllowedProcessors() {
  static const std::vector<int> processors = [] {
    std::vector<int> result;
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof(set), &set) == 0) {
      for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
        if (CPU_ISSET(cpu, &set)) result.push_back(cpu);
      }
    }
    if (result.empty()) {
      const long online = sysconf(_SC_NPROCESSORS_ONLN);
      for (long cpu = 0; cpu < (online > 0 ? online : 1) && cpu < CPU_SETSIZE; ++cpu) {
        result.push_back(static_cast<int>(cpu));
      }
    }
    return result;
  }();
  return processors;
}

}  // namespace

ThreadHandle CreateThread(ThreadProc proc, void* argument) {
  if (proc == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (ShouldFail(FaultSite::kThreadCreate)) return nullptr;
  auto* thread = new (std::nothrow) ThreadObject(proc, argument);
  if (thread == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  const int rc = pthread_create(&thread->thread, nullptr, ThreadStart, thread);
  if (rc != 0) {
    delete thread;
    SetLastErrorFromErrno(rc);
    return nullptr;
  }
  return thread;
}

bool JoinThread(ThreadHandle thread, uint32_t* exitCode) {
  if (thread == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  MutexLock lock(thread->joinMutex);
  if (!thread->joined) {
    const int rc = pthread_join(thread->thread, nullptr);
    if (rc != 0) {
      SetLastErrorFromErrno(rc);
      return false;
    }
    thread->joined = true;
  }
  if (exitCode != nullptr) *exitCode = thread->exitCode.load(std::memory_order_acquire);
  return true;
}

void CloseThread(ThreadHandle thread) {
  if (thread == nullptr) return;
  {
    MutexLock lock(thread->joinMutex);
    if (!thread->joined && !thread->detached) {
      pthread_detach(thread->thread);
      thread->detached = true;
    }
  }
  DropReference(thread);
}

bool SetCurrentThreadAffinity(uint32_t processor) {
  const std::vector<int>& processors = AllowedProcessors();
  if (processor >= processors.size()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  cpu_set_t set;
  CPU_ZERO(&set);
  CPU_SET(processors[processor], &set);
  const int rc = pthread_setaffinity_np(pthread_self(), sizeof(set), &set);
  if (rc != 0) {
    SetLastErrorFromErrno(rc);
    return false;
  }
  return true;
}

uint32_t ProcessorCount() {
  return static_cast<uint32_t>(AllowedProcessors().size());
}

uint64_t TotalPhysicalMemory() {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGESIZE);
  if (pages > 0 && pageSize > 0) return uint64_t(pages) * uint64_t(pageSize);
  struct sysinfo info;
  if (sysinfo(&info) == 0) return uint64_t{info.totalram} * info.mem_unit;
  return 0;
}

bool GetTempPath(std::u16string* path) {
  if (path == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  const char* directory = std::getenv("TMPDIR");
  if (directory == nullptr || directory[0] == '\0') directory = "/tmp/";
  return NoThrow(
      [&] {
        std::u16string result = Utf8ToUtf16(directory);
        if (result.back() != u'/') result.push_back(u'/');
        *path = std::move(result);
        return true;
      },
      OutOfMemoryError);
}

}  // namespace plat
