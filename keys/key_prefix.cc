#include "keys/key_prefix.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <type_traits>

#include "interfaces/pipeline_types.h"
#include "keys/value_functions.h"
#include "platform/decimal.h"

namespace keys {
namespace {

const uint8_t* Value(const uint8_t* row, const SortColumn& key) {
  return row + key.InputDataOffset;
}

// The first eight bytes in memory order as one number, so that comparing
// numbers compares the bytes as unsigned, first byte most significant.
uint64_t BigEndian(const uint8_t* bytes) {
  return __builtin_bswap64(Load<uint64_t>(bytes));
}

template <class T>
uint64_t EncodeInteger(const uint8_t* row, const SortColumn& key) {
  using Unsigned = std::make_unsigned_t<T>;
  // Flipping the sign bit puts negative values below the others.
  constexpr Unsigned kBias = std::is_signed_v<T> ? Unsigned{1} << (sizeof(T) * 8 - 1) : 0;
  return static_cast<Unsigned>(static_cast<Unsigned>(Load<T>(Value(row, key))) ^ kBias);
}

// A monotone map of CompareFloatValues' order into unsigned integers: NaN
// to 0, below every number; -0 to +0's code; negative values' bits inverted
// (larger magnitude is smaller) and positive values above them.
template <class T>
auto OrderedFloatBits(T value) {
  using Bits = std::conditional_t<sizeof(T) == 4, uint32_t, uint64_t>;
  constexpr Bits kSign = Bits{1} << (sizeof(T) * 8 - 1);
  if (std::isnan(value)) return Bits{0};
  if (value == 0) value = 0;
  const auto bits = std::bit_cast<Bits>(value);
  return bits & kSign ? static_cast<Bits>(~bits) : static_cast<Bits>(bits | kSign);
}

template <class T>
uint64_t EncodeFloat(const uint8_t* row, const SortColumn& key) {
  return OrderedFloatBits(Load<T>(Value(row, key)));
}

// CompareDates orders by day (the integer part toward zero), then by the
// fraction's magnitude. day + |fraction| is that order on the real time line
// (-0.5 and 0.5 both give 0.5), and exact: the fraction is a multiple of the
// value's ulp, and so is the sum, which lies below twice the day's magnitude.
uint64_t EncodeDate(const uint8_t* row, const SortColumn& key) {
  const auto value = Load<double>(Value(row, key));
  if (std::isinf(value) || std::isnan(value)) return OrderedFloatBits(value);
  const double day = std::trunc(value);
  return OrderedFloatBits(day + std::fabs(value - day));
}

uint64_t EncodeBoolean(const uint8_t* row, const SortColumn& key) {
  return Load<uint16_t>(Value(row, key)) != 0;
}

uint64_t Biased(int16_t year) {
  return static_cast<uint16_t>(year) ^ 0x8000u;
}

uint64_t EncodeDbDate(const uint8_t* row, const SortColumn& key) {
  const auto date = Load<DBDATE>(Value(row, key));
  return Biased(date.year) << 32 | uint64_t{date.month} << 16 | date.day;
}

uint64_t EncodeDbTime(const uint8_t* row, const SortColumn& key) {
  const auto time = Load<DBTIME>(Value(row, key));
  return uint64_t{time.hour} << 32 | uint64_t{time.minute} << 16 | time.second;
}

// Year to hour; minute, second and fraction are left to the comparator.
uint64_t EncodeDbTimestamp(const uint8_t* row, const SortColumn& key) {
  const auto stamp = Load<DBTIMESTAMP>(Value(row, key));
  return Biased(stamp.year) << 48 | uint64_t{stamp.month} << 32 | uint64_t{stamp.day} << 16 |
         stamp.hour;
}

uint64_t EncodeGuid(const uint8_t* row, const SortColumn& key) {
  return BigEndian(Value(row, key));
}

// Zero padding past the value's end never contradicts shorter-first: where a
// value ends, the longer one's byte is at least zero.
uint64_t EncodeBytes(const uint8_t* row, const SortColumn& key) {
  const uint8_t* value = Value(row, key);
  const uint32_t length = BytesLength(row, key);
  if (key.InputMaxLength >= 8) {
    // Eight bytes are readable; those past the value are masked off.
    // Two shifts of half the width each: eight bytes clear all 64 bits.
    const uint32_t half = 4 * std::min<uint32_t>(length, 8);
    const uint64_t kept = ~((~uint64_t{0} >> half) >> half);
    return BigEndian(value) & kept;
  }
  uint64_t code = 0;
  for (uint32_t i = 0; i < 8; ++i) code = code << 8 | (i < length ? value[i] : 0);
  return code;
}

// The first code units, NUL-padded (a string ends at its NUL, which is below
// every unit, so padding agrees with shorter-first). The case-insensitive
// comparators fold ASCII upper-case letters to lower case, nothing else.
//
// A slot of eight bytes or more is read whole, as lanes of code units, first
// unit most significant; the NUL lane and every lane after it are cleared.
// A smaller slot is read unit by unit up to its NUL, which lies within it.
template <class Unit>
constexpr uint64_t Lanes(uint64_t lane) {
  return lane * (~uint64_t{0} / static_cast<Unit>(~Unit{0}));
}

template <class Unit, bool kFoldCase>
uint64_t EncodeString(const uint8_t* row, const SortColumn& key) {
  constexpr uint32_t kLaneBits = sizeof(Unit) * 8;
  constexpr uint64_t kTop = Lanes<Unit>(uint64_t{1} << (kLaneBits - 1));
  constexpr uint64_t kLow = ~kTop;
  const uint8_t* value = Value(row, key);
  uint64_t code = 0;
  if (key.InputMaxLength >= 8) {
    code = BigEndian(value);
    if constexpr (sizeof(Unit) == 2) {
      code = (code >> 8 & Lanes<Unit>(0xFF)) | (code & Lanes<Unit>(0xFF)) << 8;
    }
    // The top bit of every NUL lane (exact: no carry leaves a lane).
    const uint64_t nul = ~(((code & kLow) + kLow) | code | kLow);
    if (nul != 0) code &= ~((uint64_t{2} << (63 - __builtin_clzll(nul))) - 1);
  } else {
    bool ended = false;
    for (uint32_t i = 0; i < 8 / sizeof(Unit); ++i) {
      const Unit unit = ended ? Unit{0} : Load<Unit>(value + i * sizeof(Unit));
      ended = unit == 0;
      code = code << kLaneBits | unit;
    }
  }
  if constexpr (kFoldCase) {
    // The top bit of every lane in 'A'..'Z', moved down to 0x20 and added.
    const uint64_t atLeastA = (code & kLow) + Lanes<Unit>(kTop / Lanes<Unit>(1) - 'A');
    const uint64_t aboveZ = (code & kLow) + Lanes<Unit>(kTop / Lanes<Unit>(1) - 'Z' - 1);
    const uint64_t upper = atLeastA & ~aboveZ & ~code & kTop;
    code += upper >> (kLaneBits - 6);
  }
  return code;
}

// The integer part of a 96-bit magnitude over 10^scale, saturated to
// `limit`: long division in 32-bit digits by at most 10^9 at a time, so that
// no step needs more than 64 bits (32-bit targets have no 128-bit integer).
uint64_t WholePart(uint32_t high, uint64_t low, uint32_t scale, uint64_t limit) {
  constexpr uint32_t kPowersOfTen[] = {1,      10,      100,      1000,      10000,
                                       100000, 1000000, 10000000, 100000000, 1000000000};
  uint32_t digits[3] = {high, static_cast<uint32_t>(low >> 32), static_cast<uint32_t>(low)};
  while (scale > 0) {
    const uint32_t step = scale < 9 ? scale : 9;
    uint64_t remainder = 0;
    for (uint32_t& digit : digits) {
      const uint64_t part = remainder << 32 | digit;
      digit = static_cast<uint32_t>(part / kPowersOfTen[step]);
      remainder = part % kPowersOfTen[step];
    }
    scale -= step;
  }
  if (digits[0] != 0) return limit;
  const uint64_t whole = uint64_t{digits[1]} << 32 | digits[2];
  return whole > limit ? limit : whole;
}

// The class of CompareDecimals' order in the top two bits: negative, zero
// (either sign), positive, malformed. Below it, for a well-formed value, its
// magnitude's integer part, saturated (both monotone in the magnitude, and
// inverted for negative values); for a malformed one, its leading bytes.
uint64_t EncodeDecimal(const uint8_t* row, const SortColumn& key) {
  constexpr uint64_t kLow = (uint64_t{1} << 62) - 1;
  const uint8_t* bytes = Value(row, key);
  const auto value = Load<DECIMAL>(bytes);
  if (value.scale > 28 || (value.sign != 0 && value.sign != DECIMAL_NEG)) {
    return uint64_t{3} << 62 | BigEndian(bytes) >> 2;
  }
  if (value.Hi32 == 0 && value.Lo64 == 0) return uint64_t{1} << 62;
  const uint64_t magnitude = WholePart(value.Hi32, value.Lo64, value.scale, kLow);
  return value.sign == 0 ? uint64_t{2} << 62 | magnitude : kLow - magnitude;
}

// The sign byte, the scale inverted (larger first), then the magnitude as its
// count of significant bytes and its top five bytes, inverted when the sign
// byte is 0 (negative) as CompareNumerics inverts magnitude order.
constexpr uint32_t kMagnitudeBytes = 5;

uint64_t EncodeNumeric(const uint8_t* row, const SortColumn& key) {
  const auto value = Load<DB_NUMERIC>(Value(row, key));
  // The digits are a little-endian 128-bit magnitude.
  const auto low = Load<uint64_t>(value.val);
  const auto high = Load<uint64_t>(value.val + 8);
  const uint32_t leadingZeroBits = high  ? __builtin_clzll(high)
                                   : low ? 64 + __builtin_clzll(low)
                                         : 128;
  const uint32_t significant = 16 - leadingZeroBits / 8;
  uint64_t magnitude = significant;
  // The top kMagnitudeBytes significant bytes, most significant first.
  for (uint32_t i = 1; i <= kMagnitudeBytes; ++i) {
    magnitude = magnitude << 8 | (i <= significant ? value.val[significant - i] : 0);
  }
  constexpr uint32_t kMagnitudeBits = 5 + kMagnitudeBytes * 8;
  if (value.sign == 0) magnitude ^= (uint64_t{1} << kMagnitudeBits) - 1;
  return (uint64_t{value.sign} << 8 | (0xFFu - value.scale)) << kMagnitudeBits | magnitude;
}

PrefixEncoding StringEncoding(int32_t dataType, uint32_t flags) {
  const bool wide = dataType == DT_WSTR;
  switch (flags) {
    case CMPFLAG_ORDINAL:
      return {wide ? EncodeString<char16_t, false> : EncodeString<uint8_t, false>, 64, false};
    case CMPFLAG_ORDINAL_IGNORECASE:
      return {wide ? EncodeString<char16_t, true> : EncodeString<uint8_t, true>, 64, false};
    default:
      return {nullptr, 0, false};
  }
}

}  // namespace
}  // namespace keys

PrefixEncoding SelectPrefixEncoding(int32_t dataType, uint32_t flags) {
  using namespace keys;
  switch (dataType) {
    case DT_I1:
      return {EncodeInteger<int8_t>, 8, true};
    case DT_UI1:
      return {EncodeInteger<uint8_t>, 8, true};
    case DT_I2:
      return {EncodeInteger<int16_t>, 16, true};
    case DT_UI2:
      return {EncodeInteger<uint16_t>, 16, true};
    case DT_I4:
      return {EncodeInteger<int32_t>, 32, true};
    case DT_UI4:
      return {EncodeInteger<uint32_t>, 32, true};
    case DT_I8:
    case DT_CY:
      return {EncodeInteger<int64_t>, 64, true};
    case DT_UI8:
    case DT_FILETIME:
      return {EncodeInteger<uint64_t>, 64, true};
    case DT_R4:
      return {EncodeFloat<float>, 32, true};
    case DT_R8:
      return {EncodeFloat<double>, 64, true};
    case DT_DATE:
      return {EncodeDate, 64, true};
    case DT_BOOL:
      return {EncodeBoolean, 1, true};
    case DT_DECIMAL:
      return {EncodeDecimal, 64, false};
    case DT_NUMERIC:
      return {EncodeNumeric, 16 + 5 + kMagnitudeBytes * 8, false};
    case DT_GUID:
      return {EncodeGuid, 64, false};
    case DT_DBDATE:
      return {EncodeDbDate, 48, true};
    case DT_DBTIME:
      return {EncodeDbTime, 48, true};
    case DT_DBTIMESTAMP:
      return {EncodeDbTimestamp, 64, false};
    case DT_BYTES:
      return {EncodeBytes, 64, false};
    case DT_STR:
    case DT_WSTR:
      return StringEncoding(dataType, flags);
    default:
      return {nullptr, 0, false};
  }
}

KeyPrefix BuildKeyPrefix(const SortColumn* keys, size_t count) {
  KeyPrefix prefix{{}, false};
  uint32_t freeBits = 64;
  for (size_t i = 0; i < count; ++i) {
    const SortColumn& key = keys[i];
    const PrefixEncoding encoding =
        SelectPrefixEncoding(static_cast<int32_t>(key.OutputColumn.DataType), key.ComparisonFlags);
    if (!encoding.encode || freeBits == 0) return prefix;
    const uint32_t width = encoding.bits + 1;
    const uint32_t kept = std::min(width, freeBits);
    freeBits -= kept;
    const uint64_t mask = kept == 64 ? ~uint64_t{0} : (uint64_t{1} << kept) - 1;
    prefix.fields.push_back({key, encoding.encode, encoding.bits, width - kept, freeBits,
                             key.SortKeyPosition < 0 ? mask : 0});
    if (kept < width || !encoding.exact) return prefix;
  }
  prefix.complete = true;
  return prefix;
}
