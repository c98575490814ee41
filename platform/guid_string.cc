// GUIDs in the registry form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}": the
// first three fields as numbers (most significant digit first), then the
// eight bytes of Data4 in storage order.
#include "platform/com.h"

namespace plat {
namespace {

constexpr size_t kGuidTextLength = 38;
constexpr char16_t kHexDigits[] = u"0123456789ABCDEF";

void AppendHex(uint64_t value, int digits, std::u16string* out) {
  for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) {
    out->push_back(kHexDigits[(value >> shift) & 0xF]);
  }
}

int HexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  return -1;
}

// Reads `digits` hex digits at text[*pos] and advances *pos.
bool ReadHex(const char16_t* text, size_t* pos, int digits, uint64_t* value) {
  uint64_t result = 0;
  for (int i = 0; i < digits; ++i) {
    const int digit = HexValue(text[(*pos)++]);
    if (digit < 0) return false;
    result = (result << 4) | static_cast<uint64_t>(digit);
  }
  *value = result;
  return true;
}

bool Expect(const char16_t* text, size_t* pos, char16_t c) {
  return text[(*pos)++] == c;
}

}  // namespace

std::u16string GuidToString(const GUID& guid) {
  std::u16string out;
  out.reserve(kGuidTextLength);
  out.push_back(u'{');
  AppendHex(guid.Data1, 8, &out);
  out.push_back(u'-');
  AppendHex(guid.Data2, 4, &out);
  out.push_back(u'-');
  AppendHex(guid.Data3, 4, &out);
  out.push_back(u'-');
  for (int i = 0; i < 8; ++i) {
    if (i == 2) out.push_back(u'-');
    AppendHex(guid.Data4[i], 2, &out);
  }
  out.push_back(u'}');
  return out;
}

bool GuidFromString(const char16_t* text, GUID* guid) {
  if (text == nullptr || guid == nullptr) return false;
  // Checking the length first keeps every read below inside the string.
  if (std::char_traits<char16_t>::length(text) != kGuidTextLength) return false;
  GUID result;
  uint64_t value;
  size_t pos = 0;
  if (!Expect(text, &pos, u'{') || !ReadHex(text, &pos, 8, &value)) return false;
  result.Data1 = static_cast<uint32_t>(value);
  if (!Expect(text, &pos, u'-') || !ReadHex(text, &pos, 4, &value)) return false;
  result.Data2 = static_cast<uint16_t>(value);
  if (!Expect(text, &pos, u'-') || !ReadHex(text, &pos, 4, &value)) return false;
  result.Data3 = static_cast<uint16_t>(value);
  if (!Expect(text, &pos, u'-')) return false;
  for (int i = 0; i < 8; ++i) {
    if (i == 2 && !Expect(text, &pos, u'-')) return false;
    if (!ReadHex(text, &pos, 2, &value)) return false;
    result.Data4[i] = static_cast<uint8_t>(value);
  }
  if (!Expect(text, &pos, u'}')) return false;
  *guid = result;
  return true;
}

}  // namespace plat
