#include "platform/posix/system_locale.h"

#include <cstdlib>

namespace plat {

std::string CollationLocaleName(const char* lcAll, const char* lcCollate, const char* lang) {
  const char* chosen = nullptr;
  for (const char* candidate : {lcAll, lcCollate, lang}) {
    if (candidate != nullptr && candidate[0] != '\0') {
      chosen = candidate;
      break;
    }
  }
  std::string name = chosen ? chosen : "";
  name = name.substr(0, name.find_first_of(".@"));
  if (name.empty() || name == "C" || name == "POSIX") return "en_US";
  return name;
}

const std::string& SystemCollationLocale() {
  // getenv is read once, before any worker thread compares strings; the
  // static's initialization is thread-safe.
  static const std::string locale =
      CollationLocaleName(std::getenv("LC_ALL"), std::getenv("LC_COLLATE"), std::getenv("LANG"));
  return locale;
}

}  // namespace plat
