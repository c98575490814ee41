#include "platform/thread_locale.h"

namespace plat {

SystemLocaleScope::SystemLocaleScope() = default;
SystemLocaleScope::~SystemLocaleScope() = default;

}  // namespace plat
