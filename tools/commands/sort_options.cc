#include "tools/commands/sort_options.h"

#include <charconv>

#include "platform/string_compare.h"
#include "tools/commands/command_line.h"

namespace tolvarine {
namespace {

enum SortOptionId {
  kOutput,
  kKey,
  kUnique,
  kRamBudget,
  kScratch,
  kScratchFileSize,
  kThreads,
  kFormat,
  kDelimiter,
  kNoHeader,
  kSchema,
  kFields,
  kProgress,
  kQuiet,
  kStats,
  kHelp,
};

constexpr OptionSpec kSortOptions[] = {
    {kOutput, 'o', "output", true},     {kKey, 'k', "key", true},
    {kUnique, 'u', "unique", false},    {kRamBudget, 'S', "ram-budget", true},
    {kScratch, 'T', "scratch", true},   {kScratchFileSize, 0, "scratch-file-size", true},
    {kThreads, 0, "threads", true},     {kFormat, 0, "format", true},
    {kDelimiter, 0, "delimiter", true}, {kNoHeader, 0, "no-header", false},
    {kSchema, 0, "schema", true},       {kFields, 0, "fields", true},
    {kProgress, 0, "progress", false},  {kQuiet, 'q', "quiet", false},
    {kStats, 0, "stats", false},        {kHelp, 'h', "help", false},
};

// Widest megabyte count the component's 32-bit byte counts can hold.
constexpr int32_t kMaxMegabytes = 4095;

bool ParseRange(const ParsedOption& option, int32_t low, int32_t high, const char* meaning,
                int32_t* value, std::string* error) {
  if (!ParseInt32(option.value, value) || *value < low || *value > high) {
    *error = "option '" + option.name + "': '" + option.value + "' is not " + meaning + " from " +
             std::to_string(low) + " to " + std::to_string(high);
    return false;
  }
  return true;
}

bool ParseFlags(std::string_view text, int32_t* flags) {
  uint32_t value = 0;
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
  }
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return false;
  *flags = static_cast<int32_t>(value);
  return true;
}

// 16 and 32 are the component's own ordinal modes; every other value is
// handed to the platform's string comparison, which alone knows its flags and
// fails on one it does not define.
bool ComparisonFlagsDefined(int32_t flags) {
  return flags == 16 || flags == 32 ||
         plat::CompareStringW(static_cast<uint32_t>(flags), u"", u"") != 0;
}

void AddScratchDirectories(const std::string& value, std::vector<std::string>* scratch) {
  size_t start = 0;
  while (start <= value.size()) {
    size_t end = value.find(';', start);
    if (end == std::string::npos) end = value.size();
    if (end > start) scratch->push_back(value.substr(start, end - start));
    start = end + 1;
  }
}

}  // namespace

bool ParseKeySpec(std::string_view text, KeySpec* key, std::string* error) {
  *key = KeySpec{};
  bool directionSeen = false;
  // Modifiers are taken from the right, so a column name may hold ':'.
  for (;;) {
    size_t colon = text.rfind(':');
    if (colon == std::string_view::npos) break;
    std::string_view modifier = text.substr(colon + 1);
    if ((modifier == "asc" || modifier == "desc") && !directionSeen) {
      key->descending = modifier == "desc";
      directionSeen = true;
    } else if (modifier.starts_with("flags=") && !key->comparisonFlags) {
      int32_t flags;
      if (!ParseFlags(modifier.substr(6), &flags)) {
        *error = "key '" + std::string(text) + "': '" + std::string(modifier.substr(6)) +
                 "' is not a number of comparison flags";
        return false;
      }
      if (!ComparisonFlagsDefined(flags)) {
        *error = "key '" + std::string(text) + "': flags=" + std::string(modifier.substr(6)) +
                 " holds flags that string comparison does not define";
        return false;
      }
      key->comparisonFlags = flags;
    } else {
      break;
    }
    text = text.substr(0, colon);
  }
  if (text.empty()) {
    *error = "a key names no column";
    return false;
  }
  key->column = std::string(text);
  return true;
}

bool ParseDelimiter(std::string_view text, char* delimiter, std::string* error) {
  if (text == "\\t" || text == "tab") text = "\t";
  if (text.size() != 1 || text[0] == '"' || text[0] == '\r' || text[0] == '\n') {
    *error = "option '--delimiter': '" + std::string(text) +
             "' is not one character other than a quote or a line break";
    return false;
  }
  *delimiter = text[0];
  return true;
}

bool ParseSortOptions(std::span<const std::string> args, SortOptions* options, std::string* error) {
  *options = SortOptions{};
  CommandLine line;
  if (!ParseCommandLine(args, kSortOptions, &line, error)) return false;
  bool csvOnly = false;
  std::string csvOnlyName;
  for (const ParsedOption& option : line.options) {
    switch (option.id) {
      case kOutput:
        options->output = option.value;
        break;
      case kKey: {
        KeySpec key;
        if (!ParseKeySpec(option.value, &key, error)) return false;
        options->keys.push_back(std::move(key));
        break;
      }
      case kUnique:
        options->unique = true;
        break;
      case kRamBudget:
        if (!ParseRange(option, -100, kMaxMegabytes,
                        "a number of megabytes (or a negative percent)", &options->ramBudget,
                        error)) {
          return false;
        }
        break;
      case kScratch:
        AddScratchDirectories(option.value, &options->scratch);
        break;
      case kScratchFileSize:
        if (!ParseRange(option, 0, kMaxMegabytes, "a number of megabytes",
                        &options->scratchFileSize, error)) {
          return false;
        }
        break;
      case kThreads:
        if (!ParseRange(option, 0, 128, "a thread count", &options->threads, error)) return false;
        break;
      case kFormat:
        if (option.value == "csv") {
          options->format = FileFormat::kCsv;
        } else if (option.value == "fixed") {
          options->format = FileFormat::kFixed;
        } else {
          *error = "option '--format': '" + option.value + "' is neither csv nor fixed";
          return false;
        }
        break;
      case kDelimiter:
        if (!ParseDelimiter(option.value, &options->delimiter, error)) return false;
        csvOnly = true, csvOnlyName = option.name;
        break;
      case kNoHeader:
        options->header = false;
        csvOnly = true, csvOnlyName = option.name;
        break;
      case kSchema:
        options->schema = option.value;
        csvOnly = true, csvOnlyName = option.name;
        break;
      case kFields:
        options->fields = option.value;
        break;
      case kProgress:
        options->progress = true;
        break;
      case kQuiet:
        options->quiet = true;
        break;
      case kStats:
        options->stats = true;
        break;
      case kHelp:
        options->help = true;
        break;
    }
  }
  if (options->help) return true;
  if (line.operands.size() > 1) {
    *error = "more than one input file given ('" + line.operands[0] + "', '" + line.operands[1] +
             "'); sort reads one";
    return false;
  }
  if (!line.operands.empty()) options->input = line.operands[0];
  if (options->keys.empty()) {
    *error = "no sort key given: name at least one column with -k COLUMN";
    return false;
  }
  if (options->format == FileFormat::kFixed) {
    if (csvOnly) {
      *error = "option '" + csvOnlyName + "' is for --format csv";
      return false;
    }
    if (!options->fields) {
      *error = "--format fixed needs the record layout: --fields 'NAME:TYPE,...'";
      return false;
    }
  } else if (options->fields) {
    *error = "option '--fields' is for --format fixed (CSV columns take --schema)";
    return false;
  }
  return true;
}

}  // namespace tolvarine
