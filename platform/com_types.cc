// HResultFromLastError is shared by every backend: a failure must never come
// out as S_OK, so a last error of 0 (a call that failed without saying why)
// is reported as E_FAIL.
#include "platform/com_types.h"

namespace plat {

HRESULT HResultFromLastError() {
  const DWORD error = GetLastError();
  return error == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(error);
}

}  // namespace plat
