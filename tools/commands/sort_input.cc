#include "tools/commands/sort_input.h"

#include <filesystem>

#include "tools/commands/file_paths.h"
#include "tools/commands/help_text.h"

namespace tolvarine {
namespace {

std::vector<ColumnModel> StringColumns(const std::vector<std::string>& names) {
  std::vector<FieldSpec> fields;
  for (const std::string& name : names) {
    FieldSpec field{name, {}};
    std::string unused;
    ParseFieldType(kDefaultCsvColumnType, &field.type, &unused);
    fields.push_back(std::move(field));
  }
  return MakeColumnModels(fields);
}

}  // namespace

bool SortInput::Open(const SortOptions& options, std::istream& standardInput, std::string* error) {
  if (options.input == "-") {
    displayName_ = "<stdin>";
    in_ = &standardInput;
  } else {
    displayName_ = options.input;
    file_ = std::make_unique<InputFileStream>();
    std::error_code code;
    if (!file_->Open(options.input, error)) {
      *error = displayName_ + ": cannot open the input file";
      return false;
    }
    const std::filesystem::path path = PathFromUtf8(options.input);
    auto size = std::filesystem::file_size(path, code);
    if (!code && std::filesystem::is_regular_file(path, code)) totalBytes_ = size;
    in_ = file_.get();
  }
  return options.format == FileFormat::kCsv ? OpenCsv(options, error) : OpenFixed(options, error);
}

std::string SortInput::Where(uint64_t line) const {
  return displayName_ + ":" + std::to_string(line) + ": ";
}

bool SortInput::OpenCsv(const SortOptions& options, std::string* error) {
  csv_ = std::make_unique<CsvReader>(*in_, options.delimiter);
  std::vector<FieldSpec> schema;
  if (options.schema && !ParseFieldList(*options.schema, &schema, error)) {
    *error = "--schema: " + *error;
    return false;
  }
  // The first record is the header, or with neither a header nor a schema the
  // first data record, which tells how many columns there are.
  CsvReader::Status status = CsvReader::Status::kEnd;
  if (options.header || !options.schema) {
    status = csv_->Next(&fields_);
    if (status == CsvReader::Status::kError) {
      *error = Where(csv_->errorLine()) + csv_->error();
      return false;
    }
  }
  std::vector<std::string> names;
  if (status == CsvReader::Status::kRecord) {
    for (size_t i = 0; i < fields_.size(); ++i) {
      names.push_back(options.header ? fields_[i].text : "c" + std::to_string(i + 1));
    }
    pendingRecord_ = !options.header;
  }
  if (options.schema) {
    if (options.header && status == CsvReader::Status::kRecord) {
      if (names.size() != schema.size()) {
        *error = Where(1) + "the header has " + std::to_string(names.size()) +
                 " columns, --schema " + std::to_string(schema.size());
        return false;
      }
      for (size_t i = 0; i < names.size(); ++i) {
        if (names[i] != schema[i].name) {
          *error = Where(1) + "the header names column " + std::to_string(i + 1) + " '" + names[i] +
                   "' where --schema has '" + schema[i].name + "'";
          return false;
        }
      }
    }
    columns_ = MakeColumnModels(schema);
  } else {
    columns_ = StringColumns(names);
  }
  for (const ColumnModel& column : columns_) {
    if (!SelectValueCodec(column.dataType).parse) {
      *error = "column '" + column.name + "': type " + FieldTypeName(column.field) +
               " cannot be read from text";
      return false;
    }
  }
  std::string hint = options.schema
                         ? "declare a wider type in --schema"
                         : "columns without --schema are " + std::string(kDefaultCsvColumnType) +
                               "; declare a wider type with --schema 'NAME:TYPE,...'";
  csvRows_ = std::make_unique<CsvRowCodec>(columns_, hint);
  return true;
}

bool SortInput::OpenFixed(const SortOptions& options, std::string* error) {
  std::vector<FieldSpec> fields;
  if (!ParseFieldList(*options.fields, &fields, error)) {
    *error = "--fields: " + *error;
    return false;
  }
  columns_ = MakeColumnModels(fields);
  fixedRows_ = std::make_unique<FixedRowCodec>(columns_);
  fixed_ = std::make_unique<FixedRecordReader>(*in_, fixedRows_->RecordWidth());
  return true;
}

SortInput::Status SortInput::ReadRow(const BufferColumnInfo* slots, uint8_t* row,
                                     std::string* error) {
  if (fixed_) {
    const uint8_t* record;
    switch (fixed_->Next(&record)) {
      case FixedRecordReader::Status::kEnd:
        return Status::kEnd;
      case FixedRecordReader::Status::kError:
        *error = displayName_ + ": " + fixed_->error();
        return Status::kError;
      case FixedRecordReader::Status::kRecord:
        break;
    }
    if (!fixedRows_->ReadRow(record, slots, row, error)) {
      const uint64_t number = fixed_->recordsRead();
      *error = displayName_ + ": record " + std::to_string(number) + " (bytes " +
               std::to_string((number - 1) * fixedRows_->RecordWidth()) + " to " +
               std::to_string(number * fixedRows_->RecordWidth() - 1) + "): " + *error;
      return Status::kError;
    }
    return Status::kRow;
  }
  if (!csvRows_) return Status::kEnd;
  if (pendingRecord_) {
    pendingRecord_ = false;
  } else {
    switch (csv_->Next(&fields_)) {
      case CsvReader::Status::kEnd:
        return Status::kEnd;
      case CsvReader::Status::kError:
        *error = Where(csv_->errorLine()) + csv_->error();
        return Status::kError;
      case CsvReader::Status::kRecord:
        break;
    }
  }
  if (!csvRows_->ReadRow(fields_, slots, row, error)) {
    *error = Where(csv_->recordLine()) + *error;
    return Status::kError;
  }
  return Status::kRow;
}

uint64_t SortInput::BytesRead() const {
  if (fixed_) return fixed_->bytesRead();
  return csv_ ? csv_->bytesRead() : 0;
}

}  // namespace tolvarine
