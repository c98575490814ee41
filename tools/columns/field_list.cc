#include "tools/columns/field_list.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <set>

namespace tolvarine {
namespace {

struct SimpleType {
  std::string_view name;
  DataType type;
};

constexpr SimpleType kSimpleTypes[] = {
    {"i1", DT_I1},
    {"i2", DT_I2},
    {"i4", DT_I4},
    {"i8", DT_I8},
    {"ui1", DT_UI1},
    {"ui2", DT_UI2},
    {"ui4", DT_UI4},
    {"ui8", DT_UI8},
    {"r4", DT_R4},
    {"r8", DT_R8},
    {"cy", DT_CY},
    {"date", DT_DATE},
    {"bool", DT_BOOL},
    {"decimal", DT_DECIMAL},
    {"guid", DT_GUID},
    {"dbdate", DT_DBDATE},
    {"dbtime", DT_DBTIME},
    {"dbtimestamp", DT_DBTIMESTAMP},
    {"filetime", DT_FILETIME},
};

std::string_view Trim(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
    text.remove_prefix(1);
  }
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
    text.remove_suffix(1);
  }
  return text;
}

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

bool ParseCount(std::string_view text, uint32_t* value) {
  text = Trim(text);
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *value);
  return ec == std::errc() && end == text.data() + text.size();
}

// Splits "name(args)" into name and the text between the parentheses.
bool SplitArguments(std::string_view text, std::string_view* name, std::string_view* args) {
  size_t open = text.find('(');
  if (open == std::string_view::npos) {
    *name = text;
    *args = {};
    return true;
  }
  if (text.back() != ')') return false;
  *name = Trim(text.substr(0, open));
  *args = text.substr(open + 1, text.size() - open - 2);
  return true;
}

bool ParseLengthType(std::string_view name, std::string_view args, std::string_view original,
                     FieldType* type, std::string* error) {
  uint32_t limit = name == "str"    ? kMaxStrLength
                   : name == "wstr" ? kMaxWstrLength
                                    : kMaxBytesLength;
  uint32_t length = 0;
  if (!ParseCount(args, &length) || length == 0 || length > limit) {
    *error = "type '" + std::string(original) + "': the length must be a number from 1 to " +
             std::to_string(limit);
    return false;
  }
  type->type = name == "str" ? DT_STR : name == "wstr" ? DT_WSTR : DT_BYTES;
  type->length = length;
  return true;
}

bool ParseNumericType(std::string_view args, std::string_view original, FieldType* type,
                      std::string* error) {
  size_t comma = args.find(',');
  uint32_t precision = 0, scale = 0;
  if (comma == std::string_view::npos || !ParseCount(args.substr(0, comma), &precision) ||
      !ParseCount(args.substr(comma + 1), &scale) || precision == 0 ||
      precision > kMaxNumericPrecision || scale > precision) {
    *error = "type '" + std::string(original) +
             "': numeric(p,s) needs a precision p from 1 to 38 and a scale s from 0 to p";
    return false;
  }
  type->type = DT_NUMERIC;
  type->precision = precision;
  type->scale = scale;
  return true;
}

}  // namespace

std::string_view SupportedTypeNames() {
  return "i1 i2 i4 i8 ui1 ui2 ui4 ui8 r4 r8 cy date bool decimal numeric(p,s) guid bytes(n) "
         "str(n) wstr(n) dbdate dbtime dbtimestamp filetime";
}

bool ParseFieldType(std::string_view text, FieldType* type, std::string* error) {
  std::string lower = Lower(Trim(text));
  std::string_view name, args;
  if (!SplitArguments(lower, &name, &args)) {
    *error = "type '" + std::string(Trim(text)) + "' is malformed";
    return false;
  }
  *type = FieldType{};
  bool hasArgs = name.size() != lower.size();
  if (!hasArgs) {
    for (const SimpleType& simple : kSimpleTypes) {
      if (simple.name == name) {
        type->type = simple.type;
        return true;
      }
    }
  } else if (name == "str" || name == "wstr" || name == "bytes") {
    return ParseLengthType(name, args, Trim(text), type, error);
  } else if (name == "numeric") {
    return ParseNumericType(args, Trim(text), type, error);
  }
  if (!hasArgs && (name == "str" || name == "wstr" || name == "bytes" || name == "numeric")) {
    *error = "type '" + std::string(Trim(text)) + "' needs its size, e.g. " +
             (name == "numeric" ? "numeric(18,2)" : std::string(name) + "(50)");
    return false;
  }
  *error = "unsupported type '" + std::string(Trim(text)) +
           "'; the types are: " + std::string(SupportedTypeNames());
  return false;
}

bool ParseFieldList(std::string_view text, std::vector<FieldSpec>* fields, std::string* error) {
  fields->clear();
  std::set<std::string> names;
  // Entries are separated by commas outside parentheses (numeric(p,s) has one inside).
  size_t start = 0;
  int depth = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i < text.size()) {
      if (text[i] == '(') ++depth;
      if (text[i] == ')') --depth;
      if (text[i] != ',' || depth > 0) continue;
    }
    std::string_view entry = Trim(text.substr(start, i - start));
    start = i + 1;
    size_t colon = entry.rfind(':');
    if (colon == std::string_view::npos) {
      *error = "entry '" + std::string(entry) + "' is not NAME:TYPE";
      return false;
    }
    FieldSpec field;
    field.name = std::string(Trim(entry.substr(0, colon)));
    if (field.name.empty()) {
      *error = "entry '" + std::string(entry) + "' has no column name";
      return false;
    }
    if (!names.insert(field.name).second) {
      *error = "column name '" + field.name + "' appears twice";
      return false;
    }
    std::string typeError;
    if (!ParseFieldType(entry.substr(colon + 1), &field.type, &typeError)) {
      *error = "column '" + field.name + "': " + typeError;
      return false;
    }
    fields->push_back(std::move(field));
  }
  return true;
}

std::string FieldTypeName(const FieldType& type) {
  switch (type.type) {
    case DT_STR:
      return "str(" + std::to_string(type.length) + ")";
    case DT_WSTR:
      return "wstr(" + std::to_string(type.length) + ")";
    case DT_BYTES:
      return "bytes(" + std::to_string(type.length) + ")";
    case DT_NUMERIC:
      return "numeric(" + std::to_string(type.precision) + "," + std::to_string(type.scale) + ")";
    default:
      for (const SimpleType& simple : kSimpleTypes) {
        if (simple.type == type.type) return std::string(simple.name);
      }
      return "type " + std::to_string(type.type);
  }
}

}  // namespace tolvarine
