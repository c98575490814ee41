#include "host/pipeline_runner.h"

#include <cstdio>

#include "platform/thread.h"

namespace host {
namespace {

// Makes the VARIANT of a setting; E_OUTOFMEMORY when its string cannot be made.
HRESULT MakeValue(const PropertySetting& setting, plat::Variant* value) {
  VARIANT* v = value->Put();
  if (const bool* b = std::get_if<bool>(&setting.value)) {
    v->vt = VT_BOOL;
    v->boolVal = *b ? VARIANT_TRUE : VARIANT_FALSE;
  } else if (const int32_t* i = std::get_if<int32_t>(&setting.value)) {
    v->vt = VT_I4;
    v->lVal = *i;
  } else {
    const std::u16string& text = std::get<std::u16string>(setting.value);
    BSTR copy = SysAllocStringLen(text.data(), static_cast<uint32_t>(text.size()));
    if (copy == nullptr) return E_OUTOFMEMORY;
    v->vt = VT_BSTR;
    v->bstrVal = copy;
  }
  return S_OK;
}

HRESULT MakeName(std::u16string_view text, plat::Bstr* name) {
  *name = plat::Bstr(text);
  return name->Get() == nullptr ? E_OUTOFMEMORY : S_OK;
}

// Hands each setting to `set` as a name and a VARIANT, in order; the first
// failure ends it. The property `set` may return is released here.
template <class Set>
HRESULT SetEach(const std::vector<PropertySetting>& settings, Set set) {
  for (const PropertySetting& setting : settings) {
    plat::Bstr name;
    plat::Variant value;
    HRESULT hr = MakeName(setting.name, &name);
    if (SUCCEEDED(hr)) hr = MakeValue(setting, &value);
    IDTSCustomProperty90* property = nullptr;
    if (SUCCEEDED(hr)) hr = set(name.Get(), value.Get(), &property);
    if (property) property->Release();
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

}  // namespace

const char* RunStepName(RunStep step) {
  switch (step) {
    case RunStep::kNone:
      return "none";
    case RunStep::kQueryInterface:
      return "QueryInterface";
    case RunStep::kHandOver:
      return "hand-over of metadata or buffer manager";
    case RunStep::kProvideComponentProperties:
      return "ProvideComponentProperties";
    case RunStep::kAttachUpstream:
      return "attaching the upstream source";
    case RunStep::kSetUsageType:
      return "SetUsageType";
    case RunStep::kSetInputColumnProperty:
      return "SetInputColumnProperty";
    case RunStep::kSetComponentProperty:
      return "SetComponentProperty";
    case RunStep::kBufferLayout:
      return "buffer layout";
    case RunStep::kPreExecute:
      return "PreExecute";
    case RunStep::kPrimeOutput:
      return "PrimeOutput";
    case RunStep::kSource:
      return "source";
    case RunStep::kProcessInput:
      return "ProcessInput";
    case RunStep::kOutput:
      return "output";
    case RunStep::kOutputNotEnded:
      return "output rowset not ended";
    case RunStep::kPostExecute:
      return "PostExecute";
  }
  return "unknown";
}

std::string RunResult::Describe() const {
  if (ok()) return "ok";
  char code[16];
  std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
  return std::string(RunStepName(step)) + ": " + code;
}

// What the source thread shares with Execute; read after the thread is joined.
struct PipelineRunner::SourceRun {
  IDTSRuntimeComponent90* runtime;
  RowSource* source;
  const BufferManager* buffers;
  int32_t inputID;
  int32_t bufferType;
  HRESULT hr = S_OK;
  RunStep step = RunStep::kNone;
  uint64_t rowsIn = 0;
  uint32_t inputBuffers = 0;
};

PipelineRunner::PipelineRunner(IUnknown* component, Pipeline& pipeline) : pipeline_(pipeline) {
  if (component == nullptr) {
    queryResult_ = E_POINTER;
    return;
  }
  queryResult_ = component->QueryInterface(IID_IDTSRuntimeComponent90,
                                           reinterpret_cast<void**>(runtime_.Put()));
  if (SUCCEEDED(queryResult_)) {
    queryResult_ = component->QueryInterface(IID_IDTSDesigntimeComponent90,
                                             reinterpret_cast<void**>(designtime_.Put()));
  }
  if (SUCCEEDED(queryResult_) && (!runtime_ || !designtime_)) queryResult_ = E_NOINTERFACE;
}

PipelineRunner::~PipelineRunner() = default;

HRESULT PipelineRunner::HandOver() {
  HRESULT hr = runtime_->put_ComponentMetaData(pipeline_.Metadata());
  if (SUCCEEDED(hr)) hr = runtime_->put_BufferManager(pipeline_.Buffers());
  return hr;
}

RunResult PipelineRunner::Design(const std::vector<ColumnChoice>& columns,
                                 const std::vector<PropertySetting>& settings) {
  RunResult result;
  auto fail = [&result](RunStep step, HRESULT hr) {
    result.hr = hr;
    result.step = step;
    return result;
  };
  if (FAILED(queryResult_)) return fail(RunStep::kQueryInterface, queryResult_);
  HRESULT hr = HandOver();
  if (FAILED(hr)) return fail(RunStep::kHandOver, hr);
  hr = designtime_->ProvideComponentProperties();
  if (FAILED(hr)) return fail(RunStep::kProvideComponentProperties, hr);

  pipeline_.AttachUpstream();
  ComPtr<Input> input = pipeline_.Metadata()->Inputs()->At(0);
  if (!input) return fail(RunStep::kAttachUpstream, E_UNEXPECTED);
  ComPtr<VirtualInput> virtualInput = input->MakeVirtualInput();
  if (!virtualInput) return fail(RunStep::kAttachUpstream, E_OUTOFMEMORY);
  const UpstreamOutput& upstream = *pipeline_.Upstream();

  for (const ColumnChoice& choice : columns) {
    if (choice.upstreamIndex >= upstream.columns.size()) {
      return fail(RunStep::kSetUsageType, E_INVALIDARG);
    }
    ComPtr<IDTSInputColumn90> selected;
    hr = designtime_->SetUsageType(input->Id(), virtualInput.Get(),
                                   upstream.columns[choice.upstreamIndex].lineageID,
                                   choice.usageType, selected.Put());
    if (FAILED(hr)) return fail(RunStep::kSetUsageType, hr);
  }

  for (const ColumnChoice& choice : columns) {
    if (choice.properties.empty()) continue;
    // The host knows the input column by the lineage ID it selected.
    ComPtr<InputColumn> column =
        input->Columns()->FindByLineageID(upstream.columns[choice.upstreamIndex].lineageID);
    if (!column) return fail(RunStep::kSetInputColumnProperty, DTS_E_ELEMENTNOTFOUND);
    hr = SetEach(choice.properties, [&](BSTR name, VARIANT value, IDTSCustomProperty90** property) {
      return designtime_->SetInputColumnProperty(input->Id(), column->Id(), name, value, property);
    });
    if (FAILED(hr)) return fail(RunStep::kSetInputColumnProperty, hr);
  }

  hr = SetEach(settings, [&](BSTR name, VARIANT value, IDTSCustomProperty90** property) {
    return designtime_->SetComponentProperty(name, value, property);
  });
  if (FAILED(hr)) return fail(RunStep::kSetComponentProperty, hr);
  return result;
}

uint32_t PipelineRunner::SourceThread(void* argument) {
  SourceRun& run = *static_cast<SourceRun*>(argument);
  ComPtr<PipelineBuffer> buffer;
  for (;;) {
    // A buffer nobody else holds is reused; one the component kept is left to it.
    if (buffer && buffer->RefCount() == 1) {
      buffer->Reset();
    } else {
      buffer = run.buffers->CreateInputBuffer(run.bufferType);
    }
    if (!buffer) {
      run.hr = E_OUTOFMEMORY;
      run.step = RunStep::kSource;
      return 0;
    }
    bool end = false;
    HRESULT hr = NoThrow([&] { return run.source->Fill(*buffer.Get(), &end); });
    if (FAILED(hr)) {
      run.hr = hr;
      run.step = RunStep::kSource;
      return 0;
    }
    if (end) buffer->MarkEndOfRowset();
    run.rowsIn += buffer->RowCount();
    ++run.inputBuffers;
    hr = run.runtime->ProcessInput(run.inputID, buffer.Get());
    if (FAILED(hr)) {
      run.hr = hr;
      run.step = RunStep::kProcessInput;
      return 0;
    }
    if (end) return 0;
  }
}

RunResult PipelineRunner::Execute(RowSource& source, RowSink& sink) {
  RunResult result;
  auto record = [&result](RunStep step, HRESULT hr) {
    if (result.ok()) {
      result.hr = hr;
      result.step = step;
    }
  };
  if (FAILED(queryResult_)) {
    record(RunStep::kQueryInterface, queryResult_);
    return result;
  }
  HRESULT hr = HandOver();
  if (FAILED(hr)) {
    record(RunStep::kHandOver, hr);
    return result;
  }
  hr = pipeline_.PrepareBufferTypes();
  ComPtr<Input> input = pipeline_.Metadata()->Inputs()->At(0);
  ComPtr<Output> output = pipeline_.Metadata()->Outputs()->At(0);
  if (SUCCEEDED(hr) && (!input || !output)) hr = E_UNEXPECTED;
  ComPtr<PipelineBuffer> outputBuffer;
  if (SUCCEEDED(hr)) {
    outputBuffer = pipeline_.Buffers()->CreateOutputBuffer(output->BufferType(), &sink);
    if (!outputBuffer) hr = E_OUTOFMEMORY;
  }
  if (FAILED(hr)) {
    record(RunStep::kBufferLayout, hr);
    return result;
  }

  hr = runtime_->PreExecute();
  if (FAILED(hr)) {
    record(RunStep::kPreExecute, hr);
    return result;
  }

  int32_t outputID = output->Id();
  IDTSBuffer90* outputBuffers[1] = {outputBuffer.Get()};
  hr = runtime_->PrimeOutput(1, &outputID, outputBuffers);
  bool inputEnded = false;
  if (FAILED(hr)) {
    record(RunStep::kPrimeOutput, hr);
  } else {
    SourceRun run{runtime_.Get(), &source, pipeline_.Buffers(), input->Id(), input->BufferType()};
    plat::ThreadHandle thread = plat::CreateThread(&PipelineRunner::SourceThread, &run);
    if (thread == nullptr) {
      record(RunStep::kSource, plat::HResultFromLastError());
    } else {
      plat::JoinThread(thread);
      plat::CloseThread(thread);
      result.rowsIn = run.rowsIn;
      result.inputBuffers = run.inputBuffers;
      inputEnded = SUCCEEDED(run.hr);
      // A refused output block is the cause of whatever the input then reports.
      HRESULT sinkFailure = outputBuffer->SinkFailure();
      if (FAILED(sinkFailure)) {
        record(RunStep::kOutput, sinkFailure);
      } else if (FAILED(run.hr)) {
        record(run.step, run.hr);
      }
    }
  }

  hr = runtime_->PostExecute();
  if (FAILED(hr)) record(RunStep::kPostExecute, hr);
  // The sink consumes what the component's threads handed over until
  // PostExecute; it is the caller's and may go away once cut off.
  outputBuffer->DetachSink();
  HRESULT sinkFailure = outputBuffer->SinkFailure();
  if (FAILED(sinkFailure)) record(RunStep::kOutput, sinkFailure);
  if (inputEnded && !outputBuffer->EndOfRowset()) record(RunStep::kOutputNotEnded, E_UNEXPECTED);

  result.rowsOut = outputBuffer->RowsHandedOver();
  result.outputBlocks = outputBuffer->BlocksHandedOver();
  result.outputEnded = outputBuffer->EndOfRowset();
  return result;
}

RunResult PipelineRunner::Run(const std::vector<ColumnChoice>& columns,
                              const std::vector<PropertySetting>& settings, RowSource& source,
                              RowSink& sink) {
  RunResult result = Design(columns, settings);
  if (!result.ok()) return result;
  return Execute(source, sink);
}

}  // namespace host
