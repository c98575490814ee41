// "tolvarine sort": reads the input into the host's buffers, runs the sort
// component through the in-process pipeline host and writes its output rows.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include "host/component_factory.h"
#include "host/output.h"
#include "host/pipeline.h"
#include "host/pipeline_runner.h"
#include "interfaces/component_interfaces.h"
#include "interfaces/property_names.h"
#include "platform/bstr.h"
#include "platform/no_throw.h"
#include "platform/output_file.h"
#include "platform/process_stats.h"
#include "tools/commands/commands.h"
#include "tools/commands/component_limits.h"
#include "tools/commands/component_loader.h"
#include "tools/commands/file_paths.h"
#include "tools/commands/help_text.h"
#include "tools/commands/sort_input.h"
#include "tools/commands/sort_keys.h"
#include "tools/commands/sort_output.h"
#include "tools/commands/sort_progress.h"

namespace tolvarine {
namespace {

constexpr char kCommand[] = "tolvarine sort: ";

// A failed source or sink reports its own message; the code only stops the run.
constexpr HRESULT kStoppedByTool = E_FAIL;

std::string ScratchDirectoryProblem(const std::string& directory) {
  std::error_code code;
  if (!std::filesystem::is_directory(PathFromUtf8(directory), code)) {
    return "scratch directory '" + directory + "' does not exist or is not a directory";
  }
  std::string reason;
  if (!plat::CanCreateFilesIn(directory, &reason)) {
    return "scratch directory '" + directory + "' cannot be written: " + reason;
  }
  return {};
}

// Feeds the input's rows to the pipeline, one buffer at a time.
class InputSource : public host::RowSource {
 public:
  InputSource(SortInput& input, SortCounters& counters) : input_(input), counters_(counters) {}

  HRESULT Fill(host::PipelineBuffer& buffer, bool* endOfRowset) override {
    const host::BufferLayout& layout = buffer.Layout();
    if (slots_.empty()) {
      for (size_t i = 0; i < input_.Columns().size(); ++i) slots_.push_back(layout.Column(i));
    }
    *endOfRowset = false;
    SortInput::Status status = SortInput::Status::kRow;
    const uint32_t rows = buffer.AppendRowsInPlace([&](uint8_t* row) {
      status = input_.ReadRow(slots_.data(), row, &error_);
      return status == SortInput::Status::kRow;
    });
    counters_.rowsRead.fetch_add(rows, std::memory_order_relaxed);
    counters_.bytesRead.store(input_.BytesRead(), std::memory_order_relaxed);
    if (status == SortInput::Status::kError) return kStoppedByTool;
    if (status == SortInput::Status::kEnd) {
      *endOfRowset = true;
      counters_.MarkInputEnded();
    }
    return S_OK;
  }

  // Read after the run, when the source thread has ended.
  const std::string& Error() const { return error_; }

 private:
  SortInput& input_;
  SortCounters& counters_;
  std::vector<BufferColumnInfo> slots_;
  std::string error_;
};

// Writes the component's output rows. Output column i carries input column
// outputLineageIDs[i]'s values.
class OutputSink : public host::RowSink {
 public:
  OutputSink(const std::vector<ColumnModel>& columns, std::vector<int32_t> outputLineageIDs,
             FileFormat format, char delimiter, SortOutput& output, SortCounters& counters)
      : lineageIDs_(std::move(outputLineageIDs)),
        output_(output),
        counters_(counters),
        writer_(output.Stream(), delimiter) {
    if (format == FileFormat::kCsv) {
      csv_ = std::make_unique<CsvRowCodec>(columns, std::string());
    } else {
      fixed_ = std::make_unique<FixedRowCodec>(columns);
    }
  }

  // The header goes out with the first row, or at the end of a successful
  // sort of no rows: a sort that fails while reading its input writes nothing
  // to a stream it cannot take back (standard output, a FIFO).
  void ExpectHeader() { headerPending_ = csv_ != nullptr; }
  void WritePendingHeader() {
    if (headerPending_) csv_->WriteHeader(&writer_);
    headerPending_ = false;
  }

  // Runs on the output buffer's sink thread, and for the last block on the
  // component's thread: nothing may be thrown back into either.
  HRESULT Consume(const host::RowBlock& block) override {
    const HRESULT hr = plat::NoThrow([&] { return WriteBlock(block); });
    // Only noted here: making the message would need the memory that ran out.
    if (hr == E_OUTOFMEMORY) outOfMemory_ = true;
    return hr;
  }

  bool Flush() { return writer_.Flush(); }
  std::string Error() const {
    return outOfMemory_ ? "out of memory while writing the output" : error_;
  }

 private:
  HRESULT WriteBlock(const host::RowBlock& block) {
    if (slots_.empty() && !MapColumns(*block.layout)) return kStoppedByTool;
    WritePendingHeader();
    std::ostream& out = output_.Stream();
    if (csv_) {
      for (uint32_t i = 0; i < block.rowCount; ++i) {
        if (!csv_->WriteRow(block.Row(i), slots_.data(), &writer_, &error_)) return kStoppedByTool;
      }
    } else {
      // The block's records go out in one write.
      const size_t width = fixed_->RecordWidth();
      records_.resize(size_t{block.rowCount} * width);
      for (uint32_t i = 0; i < block.rowCount; ++i) {
        fixed_->WriteRow(block.Row(i), slots_.data(), records_.data() + i * width);
      }
      out.write(reinterpret_cast<const char*>(records_.data()),
                static_cast<std::streamsize>(records_.size()));
    }
    counters_.rowsWritten.fetch_add(block.rowCount, std::memory_order_relaxed);
    if (block.endOfRowset) {
      writer_.Flush();
      out.flush();
    }
    if (out.fail()) {
      error_ = output_.WriteFailure();
      return HRESULT_FROM_WIN32(ERROR_DISK_FULL);
    }
    return S_OK;
  }

  bool MapColumns(const host::BufferLayout& layout) {
    for (int32_t lineageID : lineageIDs_) {
      int32_t index = layout.FindLineageID(lineageID);
      if (index < 0) {
        error_ = "the component's output lacks a column of the input";
        return false;
      }
      slots_.push_back(layout.Column(static_cast<size_t>(index)));
    }
    return true;
  }

  const std::vector<int32_t> lineageIDs_;
  SortOutput& output_;
  SortCounters& counters_;
  CsvWriter writer_;
  std::unique_ptr<CsvRowCodec> csv_;
  bool headerPending_ = false;
  std::unique_ptr<FixedRowCodec> fixed_;
  std::vector<uint8_t> records_;  // One block's fixed records.
  std::vector<BufferColumnInfo> slots_;
  std::string error_;
  bool outOfMemory_ = false;
};

// For each upstream column, the lineage ID of the output column mirroring it
// (the output column's SortColumnId names the input column's lineage ID).
bool FindOutputColumns(const host::Pipeline& pipeline, size_t columnCount,
                       std::vector<int32_t>* lineageIDs) {
  lineageIDs->assign(columnCount, 0);
  ComPtr<host::Output> output = pipeline.Metadata()->Outputs()->At(0);
  if (!output) return false;
  host::OutputColumnCollection* columns = output->Columns();
  for (size_t j = 0; j < columns->Size(); ++j) {
    ComPtr<host::OutputColumn> column = columns->At(j);
    ComPtr<host::CustomProperty> property =
        column ? column->Properties()->FindByName(kSortColumnIdProperty)
               : ComPtr<host::CustomProperty>();
    if (!property) continue;
    plat::Variant value;
    if (FAILED(property->CopyValue(value.Put())) || value.Get().vt != VT_I4) continue;
    for (size_t i = 0; i < columnCount; ++i) {
      if (pipeline.UpstreamLineageID(i) == value.Get().lVal) (*lineageIDs)[i] = column->LineageID();
    }
  }
  for (int32_t lineageID : *lineageIDs) {
    if (lineageID == 0) return false;
  }
  return true;
}

std::vector<host::ColumnSpec> UpstreamColumns(const std::vector<ColumnModel>& columns) {
  std::vector<host::ColumnSpec> upstream;
  for (const ColumnModel& column : columns) {
    host::ColumnSpec described;
    described.name = plat::Utf8ToUtf16(column.name);
    described.dataType = column.dataType;
    described.length = column.length;
    described.precision = column.precision;
    described.scale = column.scale;
    described.codePage = column.codePage;
    upstream.push_back(std::move(described));
  }
  return upstream;
}

std::vector<host::PropertySetting> ComponentSettings(const SortOptions& options) {
  std::u16string scratch;
  for (const std::string& directory : options.scratch) {
    if (!scratch.empty()) scratch += u';';
    scratch += plat::Utf8ToUtf16(directory);
  }
  return {{kEliminateDuplicatesProperty, options.unique},
          {kSortThreadsProperty, options.threads},
          {kScratchAreasProperty, scratch},
          {kRamBudgetProperty, options.ramBudget},
          {kScratchFileSizeProperty, options.scratchFileSize}};
}

// Releases the component and unloads its library when the sort is over.
struct ComponentHolder {
  IUnknown* component = nullptr;
  ~ComponentHolder() {
    if (component) component->Release();
    host::FreeUnusedLibraries();
  }
};

int Fail(std::ostream& err, const std::string& message) {
  err << kCommand << message << '\n';
  return kExitFailure;
}

int Sort(const SortOptions& options, std::istream& in, std::ostream& out, std::ostream& err) {
  SortCounters counters;
  SortInput input;
  std::string error;
  if (!input.Open(options, in, &error)) return Fail(err, error);
  SortOutput output;
  if (input.Columns().empty()) {
    // An empty CSV without --schema: no columns, no rows.
    if (!output.Open(options.output, out, &error) || !output.Commit(&error)) {
      return Fail(err, error);
    }
    return kExitSuccess;
  }
  std::vector<ColumnKey> keys;
  if (!ResolveSortKeys(options.keys, input.Columns(), &keys, &error)) return Fail(err, error);
  for (const std::string& directory : options.scratch) {
    std::string problem = ScratchDirectoryProblem(directory);
    if (!problem.empty()) return Fail(err, problem);
  }
  if (!output.Open(options.output, out, &error)) return Fail(err, error);

  host::Pipeline pipeline;
  HRESULT hr = pipeline.SetUpstream(UpstreamColumns(input.Columns()));
  if (FAILED(hr)) return Fail(err, "the columns do not fit a pipeline row: " + DescribeResult(hr));
  ComponentHolder holder;
  std::string componentSource, registryWarning;
  hr = CreateSortComponent(&holder.component, &componentSource, &registryWarning);
  if (!registryWarning.empty()) err << kCommand << registryWarning << '\n';
  if (FAILED(hr)) {
    return Fail(err, "cannot create the sort component from " + componentSource + ": " +
                         DescribeResult(hr) + "; build " + ComponentFileName() +
                         " beside this program, or register it with 'tolvarine register'");
  }

  // Released before the holder unloads the component's library.
  ComPtr<ITolvarineStatistics> statistics;
  if (FAILED(holder.component->QueryInterface(IID_ITolvarineStatistics,
                                              reinterpret_cast<void**>(statistics.Put())))) {
    statistics.Reset();
  }

  SortStats stats;
  host::RunResult result;
  std::string sourceError, sinkError;
  {
    host::PipelineRunner runner(holder.component, pipeline);
    std::vector<host::ColumnChoice> choices;
    for (size_t i = 0; i < keys.size(); ++i) {
      host::ColumnChoice choice;
      choice.upstreamIndex = i;
      if (keys[i].sortKeyPosition != 0) {
        choice.properties.push_back({kNewSortKeyPositionProperty, keys[i].sortKeyPosition});
      }
      if (keys[i].comparisonFlags) {
        choice.properties.push_back({kNewComparisonFlagsProperty, *keys[i].comparisonFlags});
      }
      choices.push_back(choice);
    }
    result = runner.Design(choices, ComponentSettings(options));
    std::vector<int32_t> outputLineageIDs;
    if (result.ok() && !FindOutputColumns(pipeline, input.Columns().size(), &outputLineageIDs)) {
      return Fail(err, "the component made no output column for every input column");
    }
    if (result.ok()) {
      stats.setupSeconds = counters.SecondsSinceStart();
      const bool showProgress =
          !options.quiet && (options.progress || plat::StandardErrorIsTerminal());
      SortMonitor monitor(counters, input.TotalBytes(), statistics.Get(), err);
      InputSource source(input, counters);
      OutputSink sink(input.Columns(), outputLineageIDs, options.format, options.delimiter, output,
                      counters);
      if (options.format == FileFormat::kCsv && options.header) sink.ExpectHeader();
      if (showProgress) monitor.Start();
      result = runner.Execute(source, sink);
      if (result.ok()) sink.WritePendingHeader();
      sink.Flush();
      monitor.Stop();
      sourceError = source.Error();
      sinkError = sink.Error();
    }
  }
  if (!result.ok()) {
    output.Discard();
    if (!sourceError.empty()) return Fail(err, sourceError);
    if (!sinkError.empty()) return Fail(err, sinkError);
    // The component refuses a row too wide at pre-execution, before any row
    // is read; the message gives the width the host laid out.
    if (auto refusal =
            DescribeComponentRefusal(result.hr, InputRowWidth(input.Columns()).value_or(0))) {
      Fail(err, refusal->message);
      return refusal->usage ? kExitUsage : kExitFailure;
    }
    return Fail(err, std::string("the sort failed at ") + host::RunStepName(result.step) + ": " +
                         DescribeResult(result.hr));
  }
  if (!output.Commit(&error)) return Fail(err, error);

  if (options.stats) {
    const double total = counters.SecondsSinceStart();
    const int64_t endedAt = counters.inputEndedAt.load();
    const double inputEnd =
        endedAt ? std::chrono::duration<double>(Clock::duration(endedAt)).count() : total;
    // The component counts what it did; one without its statistics
    // interface leaves the host's row counts and nothing else known.
    stats.rowsIn = result.rowsIn;
    stats.rowsOut = result.rowsOut;
    TolvarineStatistics counted{};
    if (statistics && SUCCEEDED(statistics->GetStatistics(&counted))) {
      stats.rowsIn = counted.RowsIn;
      stats.rowsOut = counted.RowsOut;
      stats.bytesSpilled = counted.BytesSpilled;
      stats.scratchFiles = counted.ScratchFilesWritten;
      stats.peakMemory = counted.PeakBytesInMemory;
    }
    stats.inputSeconds = inputEnd - stats.setupSeconds;
    stats.outputSeconds = total - inputEnd;
    err << StatsLine(stats) << '\n';
  }
  return kExitSuccess;
}

}  // namespace

int RunSortCommand(std::span<const std::string> args, std::istream& in, std::ostream& out,
                   std::ostream& err) {
  SortOptions options;
  std::string error;
  if (!ParseSortOptions(args, &options, &error)) {
    err << kCommand << error << "\nTry 'tolvarine sort --help'.\n";
    return kExitUsage;
  }
  if (options.help) {
    out << SortHelp();
    return kExitSuccess;
  }
  return Sort(options, in, out, err);
}

}  // namespace tolvarine
