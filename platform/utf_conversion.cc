// UTF-8 <-> UTF-16 without a library. Decoding follows the Unicode
// recommendation for ill-formed input: each maximal subpart of an invalid
// sequence becomes one U+FFFD, so overlong forms, encoded surrogates, values
// above U+10FFFF and truncated sequences are all replaced and never decoded.
// Lone surrogates in UTF-16 become U+FFFD as well.
#include "platform/bstr.h"

namespace plat {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsHighSurrogate(char16_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(char16_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

void AppendUtf16(char32_t code, std::u16string* out) {
  if (code < 0x10000) {
    out->push_back(static_cast<char16_t>(code));
  } else {
    code -= 0x10000;
    out->push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
    out->push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
  }
}

void AppendUtf8(char32_t code, std::string* out) {
  if (code < 0x80) {
    out->push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (code >> 6)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (code >> 12)));
    out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (code >> 18)));
    out->push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

// Decodes one sequence starting at text[*pos] and advances *pos past it (or
// past its maximal invalid subpart, returning U+FFFD).
char32_t DecodeUtf8(std::string_view text, size_t* pos, bool* wellFormed) {
  const auto lead = static_cast<unsigned char>(text[*pos]);
  ++*pos;
  if (lead < 0x80) return lead;

  size_t continuations;
  unsigned char low = 0x80, high = 0xBF;  // Allowed range of the second byte.
  char32_t code;
  if (lead >= 0xC2 && lead <= 0xDF) {
    continuations = 1;
    code = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    continuations = 2;
    code = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;   // Overlong below U+0800.
    if (lead == 0xED) high = 0x9F;  // Surrogates U+D800..U+DFFF.
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    continuations = 3;
    code = lead & 0x07;
    if (lead == 0xF0) low = 0x90;   // Overlong below U+10000.
    if (lead == 0xF4) high = 0x8F;  // Above U+10FFFF.
  } else {
    *wellFormed = false;
    return kReplacement;
  }

  for (size_t i = 0; i < continuations; ++i) {
    const auto unit = *pos < text.size() ? static_cast<unsigned char>(text[*pos]) : 0;
    if (unit < low || unit > high) {
      *wellFormed = false;
      return kReplacement;
    }
    low = 0x80;
    high = 0xBF;
    code = (code << 6) | (unit & 0x3F);
    ++*pos;
  }
  return code;
}

}  // namespace

bool Utf8ToUtf16(std::string_view text, std::u16string* out) {
  out->clear();
  out->reserve(text.size());
  bool wellFormed = true;
  size_t pos = 0;
  while (pos < text.size()) AppendUtf16(DecodeUtf8(text, &pos, &wellFormed), out);
  return wellFormed;
}

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  Utf8ToUtf16(text, &out);
  return out;
}

bool AppendUtf16AsUtf8(std::u16string_view text, std::string* out) {
  bool wellFormed = true;
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    char32_t code = unit;
    if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      code = 0x10000 + ((char32_t{unit} - 0xD800) << 10) + (char32_t{text[i + 1]} - 0xDC00);
      ++i;
    } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
      code = kReplacement;
      wellFormed = false;
    }
    AppendUtf8(code, out);
  }
  return wellFormed;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  AppendUtf16AsUtf8(text, &out);
  return out;
}

}  // namespace plat
