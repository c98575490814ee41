// Drives a component through its published interfaces, in the host's order:
//
//   Design:  put_ComponentMetaData, put_BufferManager;
//            ProvideComponentProperties; (the host attaches the upstream
//            source to the inputs); SetUsageType for each chosen upstream
//            column; SetInputColumnProperty for each property given for a
//            column; SetComponentProperty for each setting. The runner
//            knows no property of any component: the caller names them.
//   Execute: put_ComponentMetaData, put_BufferManager again (a run-time
//            host hands them over anew; a component ignores an object it
//            already holds); the host lays out the buffer types;
//            PreExecute; PrimeOutput(1, &outputID, &outputBuffer);
//            ProcessInput for every buffer from the source, on a source
//            thread of its own, the last one flagged end of rowset;
//            PostExecute.
//
// PostExecute follows every successful PreExecute, also after PrimeOutput,
// the source or ProcessInput failed. The result names the first failure
// and the step where it happened. A component that reports success but
// never ends its output rowset fails the run (kOutputNotEnded); a sink
// failure fails it too (kOutput), even when the component does not pass it on.
//
// The component may be a C++ object in the same program or one loaded from
// the library: the runner only uses the IUnknown it is given, and it releases
// every reference it took before a call returns.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "host/pipeline.h"
#include "host/row_streams.h"
#include "interfaces/component_interfaces.h"

namespace host {

// A custom property to set, on the component or on an input column:
// VT_BOOL, VT_I4 or VT_BSTR.
struct PropertySetting {
  std::u16string name{};
  std::variant<bool, int32_t, std::u16string> value{};
};

// An upstream column to select, with the custom properties to set on the
// input column that selecting it makes, in this order.
struct ColumnChoice {
  size_t upstreamIndex = 0;
  int32_t usageType = UT_READONLY;
  std::vector<PropertySetting> properties{};
};

enum class RunStep {
  kNone,
  kQueryInterface,
  kHandOver,
  kProvideComponentProperties,
  kAttachUpstream,  // The component made no input.
  kSetUsageType,
  kSetInputColumnProperty,
  kSetComponentProperty,
  kBufferLayout,
  kPreExecute,
  kPrimeOutput,
  kSource,
  kProcessInput,
  kOutput,          // The sink refused rows.
  kOutputNotEnded,  // Input ended, every call succeeded, output rowset never ended.
  kPostExecute,
};
const char* RunStepName(RunStep step);

struct RunResult {
  HRESULT hr = S_OK;
  RunStep step = RunStep::kNone;
  uint64_t rowsIn = 0;        // Rows handed to ProcessInput.
  uint64_t rowsOut = 0;       // Rows delivered to the sink.
  uint32_t inputBuffers = 0;  // ProcessInput calls.
  uint32_t outputBlocks = 0;  // Blocks delivered to the sink.
  bool outputEnded = false;

  bool ok() const { return SUCCEEDED(hr); }
  // "step: 0xXXXXXXXX", or "ok".
  std::string Describe() const;
};

class PipelineRunner {
 public:
  // `pipeline` outlives the runner; its upstream is set. The component is
  // queried for both interfaces here (a failure surfaces at the first call).
  PipelineRunner(IUnknown* component, Pipeline& pipeline);
  ~PipelineRunner();
  PipelineRunner(const PipelineRunner&) = delete;
  PipelineRunner& operator=(const PipelineRunner&) = delete;

  RunResult Design(const std::vector<ColumnChoice>& columns,
                   const std::vector<PropertySetting>& settings);
  // `sink` receives the output on the thread the component adds rows on.
  RunResult Execute(RowSource& source, RowSink& sink);
  // Design, then Execute when Design succeeded.
  RunResult Run(const std::vector<ColumnChoice>& columns,
                const std::vector<PropertySetting>& settings, RowSource& source, RowSink& sink);

 private:
  struct SourceRun;
  static uint32_t SourceThread(void* argument);

  HRESULT HandOver();
  HRESULT SelectColumn(IDTSVirtualInput90* virtualInput, int32_t inputID,
                       const ColumnChoice& choice);

  Pipeline& pipeline_;
  HRESULT queryResult_ = S_OK;
  ComPtr<IDTSRuntimeComponent90> runtime_;
  ComPtr<IDTSDesigntimeComponent90> designtime_;
};

}  // namespace host
