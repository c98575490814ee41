// The options of "tolvarine sort" and their checks.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tolvarine {

enum class FileFormat { kCsv, kFixed };

// -k COLUMN[:asc|:desc][:flags=N]
struct KeySpec {
  std::string column;  // A column name, or a 1-based number when no column has that name.
  bool descending = false;
  std::optional<int32_t> comparisonFlags;
};

struct SortOptions {
  std::string input = "-";  // "-": standard input.
  std::optional<std::string> output;
  std::vector<KeySpec> keys;
  bool unique = false;
  int32_t ramBudget = 0;  // RAMBudget: MB; 0 default share; negative percent.
  std::vector<std::string> scratch;
  int32_t scratchFileSize = 200;  // ScratchFileSize, MB.
  int32_t threads = 0;            // SortThreads; 0: one per processor.
  FileFormat format = FileFormat::kCsv;
  char delimiter = ',';
  bool header = true;
  std::optional<std::string> schema;
  std::optional<std::string> fields;
  bool progress = false;
  bool quiet = false;
  bool stats = false;
  bool help = false;
};

// False with *error for an unknown option, a malformed value, or options
// that do not go together.
bool ParseSortOptions(std::span<const std::string> args, SortOptions* options, std::string* error);

// One -k value.
bool ParseKeySpec(std::string_view text, KeySpec* key, std::string* error);

// --delimiter: one character other than '"', CR and LF; "\t" and "tab" name the tab.
bool ParseDelimiter(std::string_view text, char* delimiter, std::string* error);

}  // namespace tolvarine
