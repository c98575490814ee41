#include "tools/text/random_values.h"

#include <algorithm>
#include <cstdio>

#include "interfaces/pipeline_types.h"

namespace tolvarine {
namespace {

std::string Digits(RandomSource* random, size_t count) {
  std::string digits;
  for (size_t i = 0; i < count; ++i) digits.push_back(static_cast<char>('0' + random->Below(10)));
  return digits;
}

std::string DateText(RandomSource* random) {
  char text[16];
  int year = static_cast<int>(random->Between(1900, 2099));
  int month = static_cast<int>(random->Between(1, 12));
  int day = static_cast<int>(random->Between(1, 28));  // Exists in every month.
  std::snprintf(text, sizeof(text), "%04d-%02d-%02d", year, month, day);
  return text;
}

std::string TimeText(RandomSource* random) {
  char text[16];
  std::snprintf(text, sizeof(text), "%02d:%02d:%02d", static_cast<int>(random->Below(24)),
                static_cast<int>(random->Below(60)), static_cast<int>(random->Below(60)));
  return text;
}

std::string Word(RandomSource* random, size_t maxLength, bool wide) {
  static constexpr const char* kWideLetters[] = {"\xC3\xA9", "\xC3\x9F", "\xD0\xB6",
                                                 "\xE4\xB8\xAD"};
  const size_t length = 1 + random->Below(std::min<size_t>(maxLength, 16));
  std::string word;
  for (size_t i = 0; i < length; ++i) {
    uint64_t pick = random->Below(64);
    if (wide && pick == 0) {
      word += kWideLetters[random->Below(4)];
    } else if (pick < 6) {
      word.push_back(static_cast<char>('A' + random->Below(26)));
    } else {
      word.push_back(static_cast<char>('a' + random->Below(26)));
    }
  }
  return word;
}

std::string Hex(RandomSource* random, size_t bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (size_t i = 0; i < bytes; ++i) {
    uint64_t byte = random->Below(256);
    hex.push_back(kDigits[byte >> 4]);
    hex.push_back(kDigits[byte & 15]);
  }
  return hex;
}

std::string Signed(RandomSource* random, std::string magnitude) {
  return random->Below(2) == 0 ? "-" + magnitude : magnitude;
}

}  // namespace

std::string RandomValueText(const ColumnModel& column, bool fullWidth, RandomSource* random) {
  const uint64_t bits = random->Next();
  switch (column.dataType) {
    case DT_I1:
      return std::to_string(static_cast<int8_t>(bits));
    case DT_I2:
      return std::to_string(static_cast<int16_t>(bits));
    case DT_I4:
      return std::to_string(static_cast<int32_t>(bits));
    case DT_I8:
      return std::to_string(static_cast<int64_t>(bits));
    case DT_UI1:
      return std::to_string(static_cast<uint8_t>(bits));
    case DT_UI2:
      return std::to_string(static_cast<uint16_t>(bits));
    case DT_UI4:
      return std::to_string(static_cast<uint32_t>(bits));
    case DT_UI8:
      return std::to_string(bits);
    case DT_R4:
    case DT_R8:
      return Signed(random, std::to_string(bits % 1000000) + "." + Digits(random, 3));
    case DT_CY:
      return Signed(random, std::to_string(bits % 100000000) + "." + Digits(random, 4));
    case DT_DECIMAL:
      return Signed(random, std::to_string(bits % 10000000) + "." + Digits(random, 2));
    case DT_NUMERIC: {
      const size_t integerDigits = column.field.precision - column.field.scale;
      std::string text = integerDigits ? Digits(random, 1 + bits % integerDigits) : "0";
      if (column.field.scale > 0) text += "." + Digits(random, column.field.scale);
      return Signed(random, text);
    }
    case DT_BOOL:
      return bits % 2 ? "true" : "false";
    case DT_GUID: {
      std::string hex = Hex(random, 16);
      return "{" + hex.substr(0, 8) + "-" + hex.substr(8, 4) + "-" + hex.substr(12, 4) + "-" +
             hex.substr(16, 4) + "-" + hex.substr(20) + "}";
    }
    case DT_BYTES:
      return Hex(random, fullWidth ? column.field.length : 1 + bits % column.field.length);
    case DT_STR:
      return Word(random, column.field.length, false);
    case DT_WSTR:
      // Every letter Word picks is one UTF-16 unit.
      return Word(random, column.field.length, true);
    case DT_DBDATE:
      return DateText(random);
    case DT_DBTIME:
      return TimeText(random);
    case DT_DBTIMESTAMP:
      return DateText(random) + " " + TimeText(random) + "." + Digits(random, 9);
    case DT_FILETIME:
      return DateText(random) + " " + TimeText(random) + "." + Digits(random, 7);
    case DT_DATE:
      return DateText(random) + " " + TimeText(random) + "." + Digits(random, 3);
    default:
      return {};
  }
}

}  // namespace tolvarine
