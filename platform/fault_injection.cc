// One armed fault per site. The common case, nothing armed, costs one relaxed
// atomic load per call; arming and firing take a process-wide mutex, which is
// fine because faults are armed only by tests. A later InjectFault at the same
// site replaces the earlier one.
#include "platform/fault_injection.h"

#include <atomic>
#include <mutex>

namespace plat {
namespace {

struct ArmedFault {
  std::atomic<bool> armed{false};
  uint32_t skip = 0;       // Calls still to pass before the first failure.
  uint32_t remaining = 0;  // Failures still to give.
  DWORD error = ERROR_SUCCESS;
};

constexpr size_t kSiteCount = static_cast<size_t>(FaultSite::kCount);

std::mutex g_faultMutex;
ArmedFault g_faults[kSiteCount];

ArmedFault* FaultAt(FaultSite site) {
  const auto index = static_cast<size_t>(site);
  return index < kSiteCount ? &g_faults[index] : nullptr;
}

}  // namespace

void InjectFault(FaultSite site, uint32_t skip, DWORD error, uint32_t times) {
  ArmedFault* fault = FaultAt(site);
  if (fault == nullptr) return;
  std::lock_guard<std::mutex> lock(g_faultMutex);
  fault->skip = skip;
  fault->remaining = times;
  fault->error = error;
  fault->armed.store(times > 0, std::memory_order_release);
}

void ClearFaults() {
  std::lock_guard<std::mutex> lock(g_faultMutex);
  for (ArmedFault& fault : g_faults) {
    fault.armed.store(false, std::memory_order_release);
    fault.remaining = 0;
  }
}

bool ShouldFail(FaultSite site) {
  ArmedFault* fault = FaultAt(site);
  if (fault == nullptr || !fault->armed.load(std::memory_order_acquire)) return false;
  std::lock_guard<std::mutex> lock(g_faultMutex);
  if (!fault->armed.load(std::memory_order_relaxed)) return false;
  if (fault->skip > 0) {
    --fault->skip;
    return false;
  }
  if (--fault->remaining == 0) fault->armed.store(false, std::memory_order_relaxed);
  SetLastError(fault->error);
  return true;
}

}  // namespace plat
