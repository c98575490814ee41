#include "tools/commands/generate_command.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "host/buffer_layout.h"
#include "tools/columns/field_list.h"
#include "tools/commands/command_line.h"
#include "tools/commands/commands.h"
#include "tools/commands/file_paths.h"
#include "tools/commands/help_text.h"
#include "tools/formats/csv_row_codec.h"
#include "tools/formats/fixed_records.h"
#include "tools/text/random_source.h"
#include "tools/text/random_values.h"

namespace tolvarine {
namespace {

enum GenerateOptionId {
  kLayout,
  kRows,
  kSeed,
  kOutput,
  kFormat,
  kSchema,
  kFields,
  kDelimiter,
  kNoHeader,
  kNulls,
  kHelp
};

constexpr OptionSpec kGenerateOptions[] = {
    {kLayout, 0, "layout", true},       {kRows, 'n', "rows", true},
    {kSeed, 0, "seed", true},           {kOutput, 'o', "output", true},
    {kFormat, 0, "format", true},       {kSchema, 0, "schema", true},
    {kFields, 0, "fields", true},       {kDelimiter, 0, "delimiter", true},
    {kNoHeader, 0, "no-header", false}, {kNulls, 0, "nulls", true},
    {kHelp, 'h', "help", false},
};

constexpr uint32_t kGensortRecordBytes = 100;
constexpr size_t kWriteBatchBytes = size_t{1} << 20;

bool ParseCount(const ParsedOption& option, uint64_t* value, std::string* error) {
  const std::string& text = option.value;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) {
    *error = "option '" + option.name + "': '" + text + "' is not a whole number";
    return false;
  }
  return true;
}

// Key: 10 random printable ASCII characters (' ' to '~'), so that the same
// file is also a file of text lines for line-oriented sorts. Payload: the
// record number as 32 hex digits, 56 filler letters that change with the
// record, CR LF.
void WriteGensortRecord(uint64_t index, RandomSource* random, uint8_t* record) {
  for (int i = 0; i < 10; ++i) record[i] = static_cast<uint8_t>(' ' + (random->Next() >> 32) % 95);
  char number[33];
  std::snprintf(number, sizeof(number), "%016llX%016llX", 0ull,
                static_cast<unsigned long long>(index));
  std::memcpy(record + 10, number, 32);
  std::memset(record + 42, 'A' + static_cast<int>(index % 26), 56);
  record[98] = '\r';
  record[99] = '\n';
}

bool GenerateGensort(const GenerateOptions& options, std::ostream& out, std::string* error) {
  RandomSource random(options.seed);
  std::vector<uint8_t> batch;
  batch.reserve(kWriteBatchBytes);
  uint8_t record[kGensortRecordBytes];
  for (uint64_t i = 0; i < options.rows; ++i) {
    WriteGensortRecord(i, &random, record);
    batch.insert(batch.end(), record, record + kGensortRecordBytes);
    if (batch.size() >= kWriteBatchBytes || i + 1 == options.rows) {
      out.write(reinterpret_cast<const char*>(batch.data()),
                static_cast<std::streamsize>(batch.size()));
      batch.clear();
      if (!out) break;
    }
  }
  out.flush();
  if (!out) *error = "writing the output failed";
  return static_cast<bool>(out);
}

bool LayoutFor(const std::vector<ColumnModel>& columns, host::BufferLayout* layout,
               std::vector<BufferColumnInfo>* slots) {
  std::vector<host::LayoutColumn> layoutColumns;
  for (size_t i = 0; i < columns.size(); ++i) {
    const ColumnModel& c = columns[i];
    layoutColumns.push_back(
        {static_cast<int32_t>(i + 1), c.dataType, c.length, c.precision, c.scale, c.codePage});
  }
  if (FAILED(host::BufferLayout::Compute(layoutColumns, host::LayoutOrder::kColumnOrder, layout))) {
    return false;
  }
  for (size_t i = 0; i < columns.size(); ++i) slots->push_back(layout->Column(i));
  return true;
}

bool GenerateColumns(const GenerateOptions& options, std::ostream& out, std::string* error) {
  const bool fixed = options.format == FileFormat::kFixed;
  const std::string& list = fixed ? *options.fields : *options.schema;
  std::vector<FieldSpec> fields;
  if (!ParseFieldList(list, &fields, error)) {
    *error = (fixed ? "--fields: " : "--schema: ") + *error;
    return false;
  }
  std::vector<ColumnModel> columns = MakeColumnModels(fields);
  host::BufferLayout layout;
  std::vector<BufferColumnInfo> slots;
  if (!LayoutFor(columns, &layout, &slots)) {
    *error = "the columns do not fit one row";
    return false;
  }
  std::vector<uint8_t> row(layout.RowWidth());
  RandomSource random(options.seed);
  CsvWriter writer(out, options.delimiter);
  CsvRowCodec csv(columns, {});
  FixedRowCodec records(columns);
  std::vector<uint8_t> batch;
  std::vector<CsvField> values(columns.size());
  if (!fixed && options.header) csv.WriteHeader(&writer);
  for (uint64_t i = 0; i < options.rows; ++i) {
    // Values go through the text form, so whatever is written reads back.
    for (size_t c = 0; c < columns.size(); ++c) {
      const bool null =
          !fixed && options.nullPercent > 0 && random.Below(100) < options.nullPercent;
      values[c].text = null ? std::string() : RandomValueText(columns[c], fixed, &random);
      values[c].quoted = !null;
    }
    std::fill(row.begin(), row.end(), 0);
    if (!csv.ReadRow(values, slots.data(), row.data(), error)) {
      *error = "internal error: a generated value does not read back: " + *error;
      return false;
    }
    if (fixed) {
      size_t at = batch.size();
      batch.resize(at + records.RecordWidth());
      records.WriteRow(row.data(), slots.data(), batch.data() + at);
      if (batch.size() >= kWriteBatchBytes) {
        out.write(reinterpret_cast<const char*>(batch.data()),
                  static_cast<std::streamsize>(batch.size()));
        batch.clear();
      }
    } else if (!csv.WriteRow(row.data(), slots.data(), &writer, error)) {
      return false;
    }
    if (!out) break;
  }
  out.write(reinterpret_cast<const char*>(batch.data()),
            static_cast<std::streamsize>(batch.size()));
  if (!writer.Flush()) {
    *error = "writing the output failed";
    return false;
  }
  return true;
}

}  // namespace

bool ParseGenerateOptions(std::span<const std::string> args, GenerateOptions* options,
                          std::string* error) {
  *options = GenerateOptions{};
  CommandLine line;
  if (!ParseCommandLine(args, kGenerateOptions, &line, error)) return false;
  bool formatGiven = false;
  for (const ParsedOption& option : line.options) {
    switch (option.id) {
      case kLayout:
        if (option.value != "csv" && option.value != "gensort") {
          *error = "option '--layout': '" + option.value + "' is neither csv nor gensort";
          return false;
        }
        options->layout = option.value;
        break;
      case kRows:
        if (!ParseCount(option, &options->rows, error)) return false;
        break;
      case kSeed:
        if (!ParseCount(option, &options->seed, error)) return false;
        break;
      case kOutput:
        options->output = option.value;
        break;
      case kFormat:
        if (option.value != "csv" && option.value != "fixed") {
          *error = "option '--format': '" + option.value + "' is neither csv nor fixed";
          return false;
        }
        options->format = option.value == "csv" ? FileFormat::kCsv : FileFormat::kFixed;
        formatGiven = true;
        break;
      case kSchema:
        options->schema = option.value;
        break;
      case kFields:
        options->fields = option.value;
        break;
      case kDelimiter:
        if (!ParseDelimiter(option.value, &options->delimiter, error)) return false;
        break;
      case kNoHeader:
        options->header = false;
        break;
      case kNulls: {
        int32_t percent;
        if (!ParseInt32(option.value, &percent) || percent < 0 || percent > 100) {
          *error = "option '--nulls': '" + option.value + "' is not a percent from 0 to 100";
          return false;
        }
        options->nullPercent = static_cast<uint32_t>(percent);
        break;
      }
      case kHelp:
        options->help = true;
        break;
    }
  }
  if (options->help) return true;
  if (!line.operands.empty()) {
    *error = "unexpected argument '" + line.operands[0] + "' (write to a file with -o FILE)";
    return false;
  }
  if (options->schema && options->fields) {
    *error = "give either --schema (CSV) or --fields (fixed records), not both";
    return false;
  }
  if (!formatGiven) {
    options->format =
        options->fields || options->layout == "gensort" ? FileFormat::kFixed : FileFormat::kCsv;
  }
  if (options->format == FileFormat::kFixed) {
    if (options->schema) {
      *error = "--schema describes CSV columns; fixed records take --fields";
      return false;
    }
    if (!options->fields) options->fields = std::string(kGensortLayoutFields);
  } else {
    if (options->fields) {
      *error = "--fields describes fixed records; CSV columns take --schema";
      return false;
    }
    if (!options->schema) {
      options->schema =
          std::string(options->layout == "gensort" ? kGensortLayoutFields : kCsvLayoutSchema);
    }
  }
  return true;
}

bool Generate(const GenerateOptions& options, std::ostream& out, std::string* error) {
  if (options.format == FileFormat::kFixed && *options.fields == kGensortLayoutFields) {
    return GenerateGensort(options, out, error);
  }
  return GenerateColumns(options, out, error);
}

int RunGenerateCommand(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
  GenerateOptions options;
  std::string error;
  if (!ParseGenerateOptions(args, &options, &error)) {
    err << "tolvarine generate: " << error << "\nTry 'tolvarine generate --help'.\n";
    return kExitUsage;
  }
  if (options.help) {
    out << GenerateHelp();
    return kExitSuccess;
  }
  if (!options.output || *options.output == "-") {
    if (!Generate(options, out, &error)) {
      err << "tolvarine generate: " << error << '\n';
      return kExitFailure;
    }
    return kExitSuccess;
  }
  std::ofstream file(PathFromUtf8(*options.output), std::ios::binary | std::ios::trunc);
  if (!file) {
    err << "tolvarine generate: " << *options.output << ": cannot open for writing\n";
    return kExitFailure;
  }
  bool written = Generate(options, file, &error);
  file.close();
  if (!written || file.fail()) {
    // A partial data set is of no use: leave none behind.
    std::error_code code;
    std::filesystem::remove(PathFromUtf8(*options.output), code);
    err << "tolvarine generate: " << *options.output << ": "
        << (error.empty() ? "writing failed (is the disk full?)" : error) << '\n';
    return kExitFailure;
  }
  return kExitSuccess;
}

}  // namespace tolvarine
