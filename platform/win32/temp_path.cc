// The temporary directory, as the system names it: %TMP%, else %TEMP%, else
// %USERPROFILE%, else the Windows directory (GetTempPathW), always ending
// with a backslash.
#include <new>
#include <string>

#include "platform/thread.h"

namespace plat {

bool GetTempPath(std::u16string* path) {
  try {
    // The length can change between the calls if another thread changes
    // %TMP%: asked again until the buffer holds it.
    std::wstring buffer(MAX_PATH + 1, L'\0');
    for (;;) {
      const DWORD length = ::GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
      if (length == 0) return false;
      if (length < buffer.size()) {
        path->assign(reinterpret_cast<const char16_t*>(buffer.data()), length);
        break;
      }
      buffer.assign(length + 1, L'\0');
    }
    if (path->empty() || path->back() != u'\\') path->push_back(u'\\');
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return false;
  }
  return true;
}

}  // namespace plat
