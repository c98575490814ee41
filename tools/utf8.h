// UTF-8 <-> UTF-16 conversions for text read from and written to files.
#pragma once

#include <string>
#include <string_view>

namespace tolvarine {

// False for malformed UTF-8 (bad sequences, overlong forms, surrogates, code
// points above U+10FFFF); *out then holds the units converted so far.
bool Utf8ToUtf16(std::string_view text, std::u16string* out);

// False for an unpaired surrogate; the rest is converted and appended.
bool AppendUtf16AsUtf8(std::u16string_view text, std::string* out);

}  // namespace tolvarine
