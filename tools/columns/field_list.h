// Column lists written as "NAME:TYPE,NAME:TYPE,..." (the --schema and
// --fields options) and the type names they use.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "interfaces/pipeline_types.h"

namespace tolvarine {

// Widest str(n), wstr(n) and bytes(n) accepted, as the host allows them.
constexpr uint32_t kMaxStrLength = 8000;
constexpr uint32_t kMaxWstrLength = 4000;
constexpr uint32_t kMaxBytesLength = 8000;
constexpr uint32_t kMaxNumericPrecision = 38;

struct FieldType {
  DataType type = DT_EMPTY;
  uint32_t length = 0;     // str(n), wstr(n): characters; bytes(n): bytes; else 0.
  uint32_t precision = 0;  // numeric(p,s) only.
  uint32_t scale = 0;      // numeric(p,s) only.
};

struct FieldSpec {
  std::string name;
  FieldType type;
};

// One type name: i1 i2 i4 i8 ui1 ui2 ui4 ui8 r4 r8 cy date bool decimal
// numeric(p,s) guid bytes(n) str(n) wstr(n) dbdate dbtime dbtimestamp
// filetime, in any case, spaces allowed inside the parentheses.
bool ParseFieldType(std::string_view text, FieldType* type, std::string* error);

// A comma-separated list of NAME:TYPE entries (a name may itself contain ':';
// the type follows the last one). Names must be non-empty and distinct.
bool ParseFieldList(std::string_view text, std::vector<FieldSpec>* fields, std::string* error);

// The canonical name of a type, e.g. "numeric(10,2)", "wstr(255)".
std::string FieldTypeName(const FieldType& type);

// The list of type names, for help and error texts.
std::string_view SupportedTypeNames();

}  // namespace tolvarine
