// Stand-ins for the Windows backend's last-error functions, for building
// the check program while platform/win32 has none of its own yet.
#include "platform/com_types.h"

namespace plat {

DWORD GetLastError() {
  return ::GetLastError();
}

void SetLastError(DWORD error) {
  ::SetLastError(error);
}

}  // namespace plat
