// "tolvarine generate": test data, as CSV or fixed-width records.
//
// Layouts: "csv" (default) is a CSV of an integer, a string and a decimal
// column (id:i8,name:wstr(32),amount:decimal); "gensort" is the 100-byte
// record of sort benchmarks: a 10-byte random key and 90 bytes of payload
// (the record number as 32 hex digits, filler, CR LF), fields
// key:bytes(10),payload:bytes(90). --schema (CSV) or --fields (fixed)
// generate random values of any column list instead.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <span>
#include <string>

#include "tools/commands/sort_options.h"

namespace tolvarine {

struct GenerateOptions {
  std::string layout = "csv";
  uint64_t rows = 1000;
  uint64_t seed = 1;
  std::optional<std::string> output;
  FileFormat format = FileFormat::kCsv;
  // After ParseGenerateOptions exactly one is set, from the layout when not given.
  std::optional<std::string> schema;  // CSV columns.
  std::optional<std::string> fields;  // Fixed record fields.
  char delimiter = ',';
  bool header = true;
  uint32_t nullPercent = 0;  // CSV only.
  bool help = false;
};

// The column lists of the built-in layouts.
constexpr std::string_view kCsvLayoutSchema = "id:i8,name:wstr(32),amount:decimal";
constexpr std::string_view kGensortLayoutFields = "key:bytes(10),payload:bytes(90)";

bool ParseGenerateOptions(std::span<const std::string> args, GenerateOptions* options,
                          std::string* error);

// Writes the data set to `out`. False with *error on a bad column list or a
// failed write.
bool Generate(const GenerateOptions& options, std::ostream& out, std::string* error);

}  // namespace tolvarine
