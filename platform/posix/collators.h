// Shared ICU collators for the comparison flags of CompareString.
#pragma once

#include <unicode/ucol.h>

#include <cstdint>

#include "platform/string_compare.h"

namespace plat {

// The collator of the system default locale configured for `flags`:
//  - case ignored (NORM_/LINGUISTIC_IGNORECASE): secondary strength, so case
//    and the other tertiary differences go but diacritics stay;
//  - diacritics ignored (NORM_IGNORENONSPACE, LINGUISTIC_IGNOREDIACRITIC):
//    primary strength, with the case level on unless case is ignored too;
//  - width or kana type ignored (NORM_IGNOREWIDTH, NORM_IGNOREKANATYPE): ICU
//    keeps width, kana type and case together on the tertiary level and can
//    drop none of them alone, so the nearest setting is secondary strength
//    with the case level on: case still counts, width and kana type (and the
//    other compatibility variants) do not. Either flag therefore ignores both;
//  - NORM_IGNORESYMBOLS: alternate handling "shifted" with the variable top
//    after the symbols, so spaces, punctuation and symbols are ignored at
//    every level the strength compares;
//  - SORT_DIGITSASNUMBERS: numeric collation of digit runs;
//  - SORT_STRINGSORT and NORM_LINGUISTIC_CASING select nothing here (the
//    word sort that applies without SORT_STRINGSORT is done by the caller).
// Collators are created once per distinct setting, on first use, and then
// shared read-only by every thread (ucol_strcoll takes a const collator and
// is safe to call concurrently). REQUIRES: `flags` has no invalid bit.
// Null when the collator cannot be created; the last error is then set.
const UCollator* CollatorForFlags(uint32_t flags);

}  // namespace plat
