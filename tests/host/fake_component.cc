#include "tests/host/fake_component.h"

#include <algorithm>
#include <cstring>

#include "platform/com.h"

namespace host::testing {

FakeComponent* FakeComponent::Create(Faults faults) {
  return new FakeComponent(faults);
}

std::vector<std::string> FakeComponent::Calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

std::vector<std::thread::id> FakeComponent::ProcessInputThreads() const {
  std::lock_guard lock(mutex_);
  return processInputThreads_;
}

bool FakeComponent::HoldsOutputBuffer() const {
  std::lock_guard lock(mutex_);
  return static_cast<bool>(output_);
}

HRESULT FakeComponent::Log(std::string call) {
  std::lock_guard lock(mutex_);
  calls_.push_back(std::move(call));
  return S_OK;
}

HRESULT STDMETHODCALLTYPE FakeComponent::QueryInterface(REFIID iid, void** object) {
  if (iid == IID_IUnknown || iid == IID_IDTSRuntimeComponent90) {
    *object = static_cast<IDTSRuntimeComponent90*>(this);
  } else if (iid == IID_IDTSDesigntimeComponent90) {
    *object = static_cast<IDTSDesigntimeComponent90*>(this);
  } else {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG STDMETHODCALLTYPE FakeComponent::AddRef() {
  return ++refs_;
}

ULONG STDMETHODCALLTYPE FakeComponent::Release() {
  ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

HRESULT STDMETHODCALLTYPE FakeComponent::put_ComponentMetaData(IDTSComponentMetaData90* metadata) {
  metadata_.Reset(static_cast<ComponentMetaData*>(metadata));
  return Log("put_ComponentMetaData");
}

HRESULT STDMETHODCALLTYPE FakeComponent::put_BufferManager(IDTSBufferManager90* bufferManager) {
  bufferManager_.Reset(static_cast<BufferManager*>(bufferManager));
  return Log("put_BufferManager");
}

HRESULT STDMETHODCALLTYPE FakeComponent::ProvideComponentProperties() {
  metadata_->Inputs()->Clear();
  metadata_->Inputs()->AddNew();
  metadata_->Outputs()->Clear();
  metadata_->Outputs()->AddNew();
  return Log("ProvideComponentProperties");
}

HRESULT STDMETHODCALLTYPE FakeComponent::SetUsageType(int32_t, IDTSVirtualInput90* virtualInput,
                                                      int32_t lineageID, int32_t usageType,
                                                      IDTSInputColumn90** inputColumn) {
  Log("SetUsageType(" + std::to_string(usageType) + ")");
  int32_t index = -1;
  HRESULT hr = virtualInput->SetUsageType(lineageID, usageType, &index);
  if (FAILED(hr) || index < 0) return hr;
  ComPtr<InputColumn> column = metadata_->Inputs()->At(0)->Columns()->FindByLineageID(lineageID);
  ComPtr<OutputColumn> mirror = metadata_->Outputs()->At(0)->Columns()->AddNew();
  if (!column || !mirror) return E_FAIL;
  mirror->SetAttributes(column->Attributes());
  {
    std::lock_guard lock(mutex_);
    outputLineageOf_[lineageID] = mirror->LineageID();
  }
  *inputColumn = column.Detach();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE FakeComponent::SetComponentProperty(BSTR name, VARIANT value,
                                                              IDTSCustomProperty90**) {
  return Log("SetComponentProperty(" + plat::Utf16ToUtf8(plat::BstrView(name)) + ":" +
             std::to_string(value.vt) + ")");
}

HRESULT STDMETHODCALLTYPE FakeComponent::SetInputColumnProperty(int32_t, int32_t, BSTR name,
                                                                VARIANT value,
                                                                IDTSCustomProperty90**) {
  return Log("SetInputColumnProperty(" + plat::Utf16ToUtf8(plat::BstrView(name)) + "=" +
             std::to_string(value.lVal) + ")");
}

HRESULT STDMETHODCALLTYPE FakeComponent::PreExecute() {
  Log("PreExecute");
  if (FAILED(faults_.preExecute)) return faults_.preExecute;
  auto in = bufferManager_->Layout(metadata_->Inputs()->At(0)->BufferType());
  auto out = bufferManager_->Layout(metadata_->Outputs()->At(0)->BufferType());
  if (!in || !out) return E_UNEXPECTED;
  std::lock_guard lock(mutex_);
  pairs_.clear();
  for (auto [inLineage, outLineage] : outputLineageOf_) {
    const int32_t inIndex = in->FindLineageID(inLineage), outIndex = out->FindLineageID(outLineage);
    if (inIndex < 0 || outIndex < 0) return E_FAIL;
    pairs_.emplace_back(in->Column(inIndex), out->Column(outIndex));
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE FakeComponent::PrimeOutput(int32_t outputs, int32_t*,
                                                     IDTSBuffer90** buffers) {
  Log("PrimeOutput(" + std::to_string(outputs) + ")");
  if (FAILED(faults_.primeOutput)) return faults_.primeOutput;
  std::lock_guard lock(mutex_);
  output_.Reset(buffers[0]);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE FakeComponent::ProcessInput(int32_t, IDTSBuffer90* buffer) {
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

HRESULT FakeComponent::CopyRows(IDTSBuffer90* input) {
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
      std::memcpy(to + out.DataOffset, from + in.DataOffset, std::min(in.MaxLength, out.MaxLength));
    }
  }
  if (SUCCEEDED(hr) && end == VARIANT_TRUE && faults_.endOutput) {
    hr = output_->SetEndOfRowset();
    output_.Reset();
  }
  return hr;
}

HRESULT STDMETHODCALLTYPE FakeComponent::PostExecute() {
  Log("PostExecute");
  std::lock_guard lock(mutex_);
  output_.Reset();
  return S_OK;
}

}  // namespace host::testing
