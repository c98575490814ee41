// The column options of "tolvarine sort": the first line is a --schema or
// --fields list, every further line a -k value resolved against its columns
// (a fixed set when the list does not parse). A list that parses must name
// each type canonically and read back from its canonical form; keys that
// resolve must give each key column its own rank.
#include <cstdlib>
#include <set>

#include "fuzz/fuzz_support.h"
#include "tools/commands/sort_keys.h"

namespace {

using namespace tolvarine;

constexpr std::string_view kFixedList = "a:i4,b:str(5),c:wstr(3),1:r8,a:c:numeric(4,1)";

bool SameType(const FieldType& a, const FieldType& b) {
  return a.type == b.type && a.length == b.length && a.precision == b.precision &&
         a.scale == b.scale;
}

void CheckCanonicalList(const std::vector<FieldSpec>& fields) {
  std::string canonical;
  std::set<std::string> names;
  for (const FieldSpec& field : fields) {
    fuzz::Require(!field.name.empty() && names.insert(field.name).second,
                  "column names are non-empty and distinct");
    if (!canonical.empty()) canonical += ',';
    canonical += field.name + ":" + FieldTypeName(field.type);
  }
  std::vector<FieldSpec> again;
  std::string error;
  fuzz::Require(ParseFieldList(canonical, &again, &error), "the canonical list parses");
  fuzz::Require(again.size() == fields.size(), "the canonical list keeps every column");
  for (size_t i = 0; i < fields.size(); ++i) {
    fuzz::Require(again[i].name == fields[i].name && SameType(again[i].type, fields[i].type),
                  "the canonical list reads back to the same columns");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view rest = fuzz::AsText(data, size);
  std::vector<FieldSpec> fields;
  std::string error;
  if (ParseFieldList(fuzz::TakeLine(&rest), &fields, &error)) {
    CheckCanonicalList(fields);
  } else {
    fuzz::Require(!error.empty(), "a list that does not parse says why");
    fuzz::Require(ParseFieldList(kFixedList, &fields, &error), "the fixed list parses");
  }
  const std::vector<ColumnModel> columns = MakeColumnModels(fields);

  std::vector<KeySpec> keys;
  while (!rest.empty()) {
    KeySpec key;
    if (!ParseKeySpec(fuzz::TakeLine(&rest), &key, &error)) {
      fuzz::Require(!error.empty(), "a key that does not parse says why");
      continue;
    }
    fuzz::Require(!key.column.empty(), "a key names a column");
    keys.push_back(std::move(key));
  }
  std::vector<ColumnKey> settings;
  if (!ResolveSortKeys(keys, columns, &settings, &error)) {
    fuzz::Require(!error.empty(), "keys that do not resolve say why");
    return 0;
  }
  fuzz::Require(settings.size() == columns.size(), "one key setting per column");
  std::set<int32_t> ranks;
  for (const ColumnKey& setting : settings) {
    if (setting.sortKeyPosition == 0) continue;
    const int32_t rank = std::abs(setting.sortKeyPosition);
    fuzz::Require(rank <= int32_t(keys.size()) && ranks.insert(rank).second,
                  "every key has its own rank");
  }
  fuzz::Require(ranks.size() == keys.size(), "every key sets a column");
  return 0;
}
