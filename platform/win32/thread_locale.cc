#include "platform/thread_locale.h"

#include "platform/win32/sdk_types.h"

namespace plat {

SystemLocaleScope::SystemLocaleScope() : saved_(::GetThreadLocale()) {
  ::SetThreadLocale(LOCALE_SYSTEM_DEFAULT);
}

SystemLocaleScope::~SystemLocaleScope() {
  ::SetThreadLocale(saved_);
}

}  // namespace plat
