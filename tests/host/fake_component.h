// A component for testing the runner: logs every call, mirrors each selected
// input column as an output column and copies input rows to the output
// through the host's own layout classes.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "host/pipeline_host.h"

namespace host::testing {

// A method the runner never depends on.
#define TOLVARINE_FAKE_STUB(result, name, ...)           \
  HRESULT STDMETHODCALLTYPE name(__VA_ARGS__) override { \
    return result;                                       \
  }

class FakeComponent : public IDTSRuntimeComponent90, public IDTSDesigntimeComponent90 {
 public:
  struct Faults {
    HRESULT preExecute = S_OK;
    HRESULT primeOutput = S_OK;
    int failProcessInputCall = -1;  // 0-based call that fails with E_FAIL.
    bool endOutput = true;          // False: never ends the output rowset.
  };

  static FakeComponent* Create(Faults faults) { return new FakeComponent(faults); }  // One ref.

  std::vector<std::string> Calls() const { return Locked(calls_); }
  std::vector<std::thread::id> ProcessInputThreads() const { return Locked(processInputThreads_); }
  bool HoldsOutputBuffer() const {
    std::lock_guard lock(mutex_);
    return static_cast<bool>(output_);
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (iid == IID_IUnknown || iid == IID_IDTSRuntimeComponent90) {
      *object = static_cast<IDTSRuntimeComponent90*>(this);
    } else if (iid == IID_IDTSDesigntimeComponent90) {
      *object = static_cast<IDTSDesigntimeComponent90*>(this);
    } else {
      return *object = nullptr, E_NOINTERFACE;
    }
    return AddRef(), S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  // Run time.
  HRESULT STDMETHODCALLTYPE put_ComponentMetaData(IDTSComponentMetaData90* metadata) override {
    metadata_.Reset(static_cast<ComponentMetaData*>(metadata));
    return Log("put_ComponentMetaData");
  }
  HRESULT STDMETHODCALLTYPE put_BufferManager(IDTSBufferManager90* bufferManager) override {
    bufferManager_.Reset(static_cast<BufferManager*>(bufferManager));
    return Log("put_BufferManager");
  }
  HRESULT STDMETHODCALLTYPE PreExecute() override {
    Log("PreExecute");
    if (FAILED(faults_.preExecute)) return faults_.preExecute;
    auto in = bufferManager_->Layout(metadata_->Inputs()->At(0)->BufferType());
    auto out = bufferManager_->Layout(metadata_->Outputs()->At(0)->BufferType());
    if (!in || !out) return E_UNEXPECTED;
    std::lock_guard lock(mutex_);
    pairs_.clear();
    for (auto [inLineage, outLineage] : outputLineageOf_) {
      const int32_t i = in->FindLineageID(inLineage), o = out->FindLineageID(outLineage);
      if (i < 0 || o < 0) return E_FAIL;
      pairs_.emplace_back(in->Column(i), out->Column(o));
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE PrimeOutput(int32_t outputs, int32_t*,
                                        IDTSBuffer90** buffers) override {
    Log("PrimeOutput(" + std::to_string(outputs) + ")");
    if (FAILED(faults_.primeOutput)) return faults_.primeOutput;
    std::lock_guard lock(mutex_);
    output_.Reset(buffers[0]);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ProcessInput(int32_t, IDTSBuffer90* buffer) override {
    int call;
    {
      std::lock_guard lock(mutex_);
      calls_.push_back("ProcessInput");
      processInputThreads_.push_back(std::this_thread::get_id());
      call = processInputCalls_++;
    }
    if (call == faults_.failProcessInputCall) return E_FAIL;
    HRESULT hr = buffer->Open();
    if (FAILED(hr)) return hr;
    hr = CopyRows(buffer);
    buffer->Close();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE PostExecute() override {
    Log("PostExecute");
    std::lock_guard lock(mutex_);
    output_.Reset();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE PrepareForExecute() override { return Log("PrepareForExecute"); }
  HRESULT STDMETHODCALLTYPE Cleanup() override { return Log("Cleanup"); }

  // Design time.
  HRESULT STDMETHODCALLTYPE ProvideComponentProperties() override {
    metadata_->Inputs()->Clear();
    metadata_->Inputs()->AddNew();
    metadata_->Outputs()->Clear();
    metadata_->Outputs()->AddNew();
    return Log("ProvideComponentProperties");
  }
  HRESULT STDMETHODCALLTYPE SetUsageType(int32_t, IDTSVirtualInput90* virtualInput,
                                         int32_t lineageID, int32_t usageType,
                                         IDTSInputColumn90** inputColumn) override {
    Log("SetUsageType(" + std::to_string(usageType) + ")");
    int32_t index = -1;
    HRESULT hr = virtualInput->SetUsageType(lineageID, usageType, &index);
    if (FAILED(hr) || index < 0) return hr;
    ComPtr<InputColumn> column = metadata_->Inputs()->At(0)->Columns()->FindByLineageID(lineageID);
    ComPtr<OutputColumn> mirror = metadata_->Outputs()->At(0)->Columns()->AddNew();
    if (!column || !mirror) return E_FAIL;
    mirror->SetAttributes(column->Attributes());
    std::lock_guard lock(mutex_);
    outputLineageOf_[lineageID] = mirror->LineageID();
    *inputColumn = column.Detach();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetComponentProperty(BSTR name, VARIANT value,
                                                 IDTSCustomProperty90**) override {
    return Log("SetComponentProperty(" + plat::Utf16ToUtf8(plat::BstrView(name)) + ":" +
               std::to_string(value.vt) + ")");
  }
  HRESULT STDMETHODCALLTYPE SetInputColumnProperty(int32_t, int32_t, BSTR name, VARIANT value,
                                                   IDTSCustomProperty90**) override {
    return Log("SetInputColumnProperty(" + plat::Utf16ToUtf8(plat::BstrView(name)) + "=" +
               std::to_string(value.lVal) + ")");
  }

  TOLVARINE_FAKE_STUB(E_NOTIMPL, GetTypeInfoCount, UINT*)
  TOLVARINE_FAKE_STUB(E_NOTIMPL, GetTypeInfo, UINT, LCID, ITypeInfo**)
  TOLVARINE_FAKE_STUB(E_NOTIMPL, GetIDsOfNames, REFIID, OLECHAR**, UINT, LCID, DISPID*)
  TOLVARINE_FAKE_STUB(E_NOTIMPL, Invoke, DISPID, REFIID, LCID, uint16_t, DISPPARAMS*, VARIANT*,
                      EXCEPINFO*, UINT*)
  TOLVARINE_FAKE_STUB(S_OK, put_Connections, IUnknown*)
  TOLVARINE_FAKE_STUB(S_OK, put_EventInfos, IUnknown*)
  TOLVARINE_FAKE_STUB(S_OK, put_LogEntryInfos, IUnknown*)
  TOLVARINE_FAKE_STUB(S_OK, put_Variables, IUnknown*)
  TOLVARINE_FAKE_STUB(S_OK, put_RuntimeConnections, IUnknown*)
  TOLVARINE_FAKE_STUB(S_OK, get_ExternalColumnCount, int32_t*)
  TOLVARINE_FAKE_STUB(S_OK, Validate, int32_t*)
  TOLVARINE_FAKE_STUB(E_NOTIMPL, ReinitializeMetaData)
  TOLVARINE_FAKE_STUB(E_NOTIMPL, InsertInput, int32_t, int32_t, IDTSInput90**)
  TOLVARINE_FAKE_STUB(E_NOTIMPL, InsertOutput, int32_t, int32_t, IDTSOutput90**)
  TOLVARINE_FAKE_STUB(E_NOTIMPL, DeleteInput, int32_t)
  TOLVARINE_FAKE_STUB(E_NOTIMPL, DeleteOutput, int32_t)
  TOLVARINE_FAKE_STUB(E_NOTIMPL, InsertOutputColumnAt, int32_t, int32_t, BSTR, BSTR,
                      IDTSOutputColumn90**)
  TOLVARINE_FAKE_STUB(E_NOTIMPL, DeleteOutputColumn, int32_t, int32_t)
  TOLVARINE_FAKE_STUB(E_NOTIMPL, SetOutputColumnProperty, int32_t, int32_t, BSTR, VARIANT,
                      IDTSCustomProperty90**)
  TOLVARINE_FAKE_STUB(S_OK, SetOutputProperty, int32_t, BSTR, VARIANT)
  TOLVARINE_FAKE_STUB(S_OK, SetInputProperty, int32_t, BSTR, VARIANT)
  TOLVARINE_FAKE_STUB(S_OK, OnInputPathAttached, int32_t)
  TOLVARINE_FAKE_STUB(S_OK, OnOutputPathAttached, int32_t)
  TOLVARINE_FAKE_STUB(S_OK, OnInputPathDetached, int32_t)
  TOLVARINE_FAKE_STUB(S_OK, OnOutputPathDetached, int32_t)
  TOLVARINE_FAKE_STUB(S_OK, PerformUpgrade, int32_t)
  TOLVARINE_FAKE_STUB(S_OK, SetExternalMetadataColumnProperty, int32_t, BSTR, VARIANT)
  TOLVARINE_FAKE_STUB(S_OK, MapInputColumn, int32_t, int32_t, int32_t)
  TOLVARINE_FAKE_STUB(S_OK, MapOutputColumn, int32_t, int32_t, int32_t)
  TOLVARINE_FAKE_STUB(S_OK, OnDeletingInputColumn, int32_t, int32_t)
  TOLVARINE_FAKE_STUB(S_OK, OnDeletingOutputColumn, int32_t, int32_t)
  TOLVARINE_FAKE_STUB(S_OK, AcquireConnections, IUnknown*)
  TOLVARINE_FAKE_STUB(S_OK, ReleaseConnections)
  TOLVARINE_FAKE_STUB(S_OK, DescribeRedirectedErrorCode, int32_t, BSTR*)
  TOLVARINE_FAKE_STUB(S_OK, put_ComponentMetaDataForDesign, IDTSComponentMetaData90*)
  TOLVARINE_FAKE_STUB(S_OK, RegisterEvents)

 private:
  explicit FakeComponent(Faults faults) : faults_(faults) {}
  virtual ~FakeComponent() = default;
  template <typename T>
  T Locked(const T& value) const {
    std::lock_guard lock(mutex_);
    return value;
  }
  HRESULT Log(std::string call) {
    std::lock_guard lock(mutex_);
    calls_.push_back(std::move(call));
    return S_OK;
  }
  HRESULT CopyRows(IDTSBuffer90* input) {
    VARIANT_BOOL end = VARIANT_FALSE;
    uint32_t count = 0, width = 0;
    uint8_t* rows = nullptr;
    HRESULT hr = input->get_EndOfRowset(&end);
    if (SUCCEEDED(hr)) hr = input->get_RowCount(&count);
    if (SUCCEEDED(hr) && count > 0) hr = input->GetRowData(0, &width, &rows);
    std::lock_guard lock(mutex_);
    for (uint32_t i = 0; SUCCEEDED(hr) && i < count; ++i) {
      const uint8_t* from = rows + size_t{i} * width;
      uint8_t* to = nullptr;
      hr = output_->AddRow(&to);
      for (size_t c = 0; SUCCEEDED(hr) && c < pairs_.size(); ++c) {
        const auto& [in, out] = pairs_[c];
        std::memcpy(to + out.StatusOffset, from + in.StatusOffset, 4);
        if (out.LengthOffset != kNoLengthField) {
          std::memcpy(to + out.LengthOffset, from + in.LengthOffset, 4);
        }
        std::memcpy(to + out.DataOffset, from + in.DataOffset,
                    std::min(in.MaxLength, out.MaxLength));
      }
    }
    if (SUCCEEDED(hr) && end == VARIANT_TRUE && faults_.endOutput) {
      hr = output_->SetEndOfRowset();
      output_.Reset();
    }
    return hr;
  }

  const Faults faults_;
  std::atomic<ULONG> refs_{1};
  mutable std::mutex mutex_;
  std::vector<std::string> calls_;
  std::vector<std::thread::id> processInputThreads_;
  ComPtr<ComponentMetaData> metadata_;
  ComPtr<BufferManager> bufferManager_;
  ComPtr<IDTSBuffer90> output_;
  std::map<int32_t, int32_t> outputLineageOf_;  // Input lineage ID -> output lineage ID.
  std::vector<std::pair<BufferColumnInfo, BufferColumnInfo>> pairs_;  // Input, output.
  int processInputCalls_ = 0;
};

#undef TOLVARINE_FAKE_STUB

}  // namespace host::testing
