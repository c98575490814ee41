// Locale-aware string comparison in the manner of CompareStringA/W, and the
// runtime library's case-insensitive comparisons, over ICU collation.
#pragma once

#include <cstdint>

#include "platform/com_types.h"

namespace plat {

// Results of CompareString: 0 is failure (invalid flags), otherwise
// CSTR_LESS_THAN, CSTR_EQUAL or CSTR_GREATER_THAN.
constexpr int CSTR_LESS_THAN = 1;
constexpr int CSTR_EQUAL = 2;
constexpr int CSTR_GREATER_THAN = 3;

// Comparison flags understood by CompareString.
constexpr uint32_t NORM_IGNORECASE = 0x00000001;
constexpr uint32_t NORM_IGNORENONSPACE = 0x00000002;
constexpr uint32_t NORM_IGNORESYMBOLS = 0x00000004;
constexpr uint32_t LINGUISTIC_IGNORECASE = 0x00000010;
constexpr uint32_t LINGUISTIC_IGNOREDIACRITIC = 0x00000020;
constexpr uint32_t SORT_STRINGSORT = 0x00001000;
constexpr uint32_t NORM_IGNOREKANATYPE = 0x00010000;
constexpr uint32_t NORM_IGNOREWIDTH = 0x00020000;
constexpr uint32_t NORM_LINGUISTIC_CASING = 0x08000000;
constexpr uint32_t SORT_DIGITSASNUMBERS = 0x00000008;

// Every flag that CompareString accepts; any other bit is invalid.
constexpr uint32_t kCompareStringValidFlags =
    NORM_IGNORECASE | NORM_IGNORENONSPACE | NORM_IGNORESYMBOLS | SORT_DIGITSASNUMBERS |
    LINGUISTIC_IGNORECASE | LINGUISTIC_IGNOREDIACRITIC | SORT_STRINGSORT | NORM_IGNOREKANATYPE |
    NORM_IGNOREWIDTH | NORM_LINGUISTIC_CASING;

// Compares two NUL-terminated strings in the system default locale (from
// LC_ALL, LC_COLLATE or LANG; en-US when those name none, C or POSIX).
// 8-bit strings are Windows-1252. Flags outside the documented set make the
// call fail (result 0, last error ERROR_INVALID_FLAGS). Thread-safe; makes no
// allocation per call for strings of ordinary length.
int CompareStringA(uint32_t flags, const char* left, const char* right);
int CompareStringW(uint32_t flags, const char16_t* left, const char16_t* right);

// _stricmp / _wcsicmp in the "C" locale: ASCII letters folded to lower case,
// code units compared unsigned. Any value of the right sign.
int StrICmp(const char* left, const char* right);
int WcsICmp(const char16_t* left, const char16_t* right);

// Windows-1252 <-> UTF-16 for one code unit. Cp1252ToUtf16 maps the five
// undefined bytes to the C1 controls as Windows does; Utf16ToCp1252 returns
// false for a character that Windows-1252 cannot hold.
char16_t Cp1252ToUtf16(unsigned char byte);
bool Utf16ToCp1252(char16_t unit, unsigned char* byte);

}  // namespace plat
