// The system default locale that string collation uses, as POSIX keeps it in
// the environment.
#pragma once

#include <string>

namespace plat {

// The collation locale named by the first non-empty of LC_ALL, LC_COLLATE and
// LANG, in ICU's form: the codeset and modifier are dropped ("de_DE.UTF-8@euro"
// gives "de_DE"). None set, "C" or "POSIX" give "en_US", the default of the
// system this code stands in for. Null arguments count as unset.
std::string CollationLocaleName(const char* lcAll, const char* lcCollate, const char* lang);

// CollationLocaleName of this process's environment, read on first use and
// fixed from then on.
const std::string& SystemCollationLocale();

}  // namespace plat
