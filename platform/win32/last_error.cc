// The thread's last error is the system's own.
#include "platform/com_types.h"

namespace plat {

DWORD GetLastError() {
  return ::GetLastError();
}

void SetLastError(DWORD error) {
  ::SetLastError(error);
}

}  // namespace plat
