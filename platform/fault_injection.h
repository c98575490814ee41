// Fault injection for tests: makes the n-th call of a platform operation
// fail with a chosen Win32 error, as if the system had refused it.
#pragma once

#include <cstdint>

#include "platform/com_types.h"

namespace plat {

enum class FaultSite : uint32_t {
  kHeapCreate,
  kHeapAlloc,
  kPortCreate,
  kPortPost,
  kEventCreate,
  kThreadCreate,
  kPageAlloc,
  kFileCreate,   // Reserving a name or opening a file.
  kFileWrite,    // A write transfer, at issue or at completion.
  kFileRead,     // A read transfer, at issue or at completion.
  kCount
};

// The `skip`+1-th call at `site` from now fails with `error` (which may be 0:
// a failure whose last error is 0). `times` calls fail in a row from there.
void InjectFault(FaultSite site, uint32_t skip, DWORD error, uint32_t times = 1);
// Removes every armed fault.
void ClearFaults();
// Called by the implementation at each site: true when this call must fail;
// the error to report is then set as the last error.
bool ShouldFail(FaultSite site);

}  // namespace plat
