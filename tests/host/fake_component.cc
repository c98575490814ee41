#include "tests/host/fake_component.h"

#include <algorithm>
#include <cstring>

#include "platform/com.h"

namespace host::testing {
namespace {

template <class T>
void Replace(T** held, T* given) {
  if (given) given->AddRef();
  if (*held) (*held)->Release();
  *held = given;
}

std::string Narrow(BSTR text) {
  return plat::Utf16ToUtf8(plat::BstrView(text));
}

VARIANT Position(int32_t i) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = i;
  return v;
}

}  // namespace

FakeComponent* FakeComponent::Create(Faults faults) {
  return new FakeComponent(faults);
}

FakeComponent::~FakeComponent() {
  Replace(&metadata_, static_cast<IDTSComponentMetaData90*>(nullptr));
  Replace(&bufferManager_, static_cast<IDTSBufferManager90*>(nullptr));
  Replace(&output_, static_cast<IDTSBuffer90*>(nullptr));
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
  return output_ != nullptr;
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
  Replace(&metadata_, metadata);
  return Log("put_ComponentMetaData");
}

HRESULT STDMETHODCALLTYPE FakeComponent::put_BufferManager(IDTSBufferManager90* bufferManager) {
  Replace(&bufferManager_, bufferManager);
  return Log("put_BufferManager");
}

HRESULT STDMETHODCALLTYPE FakeComponent::ProvideComponentProperties() {
  Log("ProvideComponentProperties");
  ComPtr<IDTSInputCollection90> inputs;
  ComPtr<IDTSInput90> input;
  ComPtr<IDTSOutputCollection90> outputs;
  ComPtr<IDTSOutput90> output;
  HRESULT hr = metadata_->get_InputCollection(inputs.Put());
  if (SUCCEEDED(hr)) hr = inputs->RemoveAll();
  if (SUCCEEDED(hr)) hr = inputs->New(input.Put());
  if (SUCCEEDED(hr)) hr = metadata_->get_OutputCollection(outputs.Put());
  if (SUCCEEDED(hr)) hr = outputs->RemoveAll();
  if (SUCCEEDED(hr)) hr = outputs->New(output.Put());
  return hr;
}

HRESULT STDMETHODCALLTYPE FakeComponent::SetUsageType(int32_t inputID, IDTSVirtualInput90* virtualInput,
                                    int32_t lineageID, int32_t usageType,
                                    IDTSInputColumn90** inputColumn) {
  Log("SetUsageType(" + std::to_string(usageType) + ")");
  int32_t index = -1;
  HRESULT hr = virtualInput->SetUsageType(lineageID, usageType, &index);
  if (FAILED(hr) || index < 0) return hr;
  ComPtr<IDTSInputCollection90> inputs;
  ComPtr<IDTSInput90> input;
  ComPtr<IDTSInputColumnCollection90> columns;
  ComPtr<IDTSInputColumn90> column;
  ComPtr<IDTSOutputCollection90> outputs;
  ComPtr<IDTSOutput90> output;
  ComPtr<IDTSOutputColumnCollection90> outputColumns;
  ComPtr<IDTSOutputColumn90> mirror;
  hr = metadata_->get_InputCollection(inputs.Put());
  if (SUCCEEDED(hr)) hr = inputs->GetObjectByID(inputID, input.Put());
  if (SUCCEEDED(hr)) hr = input->get_InputColumnCollection(columns.Put());
  if (SUCCEEDED(hr)) hr = columns->GetInputColumnByLineageID(lineageID, column.Put());
  if (SUCCEEDED(hr)) hr = metadata_->get_OutputCollection(outputs.Put());
  if (SUCCEEDED(hr)) hr = outputs->get_Item(Position(0), output.Put());
  if (SUCCEEDED(hr)) hr = output->get_OutputColumnCollection(outputColumns.Put());
  if (SUCCEEDED(hr)) hr = outputColumns->New(mirror.Put());
  int32_t type = 0, length = 0, precision = 0, scale = 0, codePage = 0, outputLineage = 0;
  plat::Bstr name;
  if (SUCCEEDED(hr)) hr = column->get_Name(name.Put());
  if (SUCCEEDED(hr)) hr = mirror->put_Name(name.Get());
  if (SUCCEEDED(hr)) hr = column->get_DataType(&type);
  if (SUCCEEDED(hr)) hr = column->get_Length(&length);
  if (SUCCEEDED(hr)) hr = column->get_Precision(&precision);
  if (SUCCEEDED(hr)) hr = column->get_Scale(&scale);
  if (SUCCEEDED(hr)) hr = column->get_CodePage(&codePage);
  if (SUCCEEDED(hr)) hr = mirror->SetDataTypeProperties(type, length, precision, scale, codePage);
  if (SUCCEEDED(hr)) hr = mirror->get_LineageID(&outputLineage);
  if (FAILED(hr)) return hr;
  {
    std::lock_guard lock(mutex_);
    outputLineageOf_[lineageID] = outputLineage;
  }
  *inputColumn = column.Detach();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE FakeComponent::SetComponentProperty(BSTR name, VARIANT value, IDTSCustomProperty90**) {
  return Log("SetComponentProperty(" + Narrow(name) + ":" + std::to_string(value.vt) + ")");
}

HRESULT STDMETHODCALLTYPE FakeComponent::SetInputColumnProperty(int32_t, int32_t, BSTR name, VARIANT value,
                                              IDTSCustomProperty90**) {
  return Log("SetInputColumnProperty(" + Narrow(name) + "=" + std::to_string(value.lVal) + ")");
}

HRESULT STDMETHODCALLTYPE FakeComponent::PreExecute() {
  Log("PreExecute");
  if (FAILED(faults_.preExecute)) return faults_.preExecute;
  ComPtr<IDTSInputCollection90> inputs;
  ComPtr<IDTSInput90> input;
  ComPtr<IDTSOutputCollection90> outputs;
  ComPtr<IDTSOutput90> output;
  int32_t inputType = 0, outputType = 0;
  HRESULT hr = metadata_->get_InputCollection(inputs.Put());
  if (SUCCEEDED(hr)) hr = inputs->get_Item(Position(0), input.Put());
  if (SUCCEEDED(hr)) hr = input->get_Buffer(&inputType);
  if (SUCCEEDED(hr)) hr = metadata_->get_OutputCollection(outputs.Put());
  if (SUCCEEDED(hr)) hr = outputs->get_Item(Position(0), output.Put());
  if (SUCCEEDED(hr)) hr = output->get_Buffer(&outputType);
  std::lock_guard lock(mutex_);
  pairs_.clear();
  for (auto [inLineage, outLineage] : outputLineageOf_) {
    ColumnPair pair;
    int32_t inIndex = 0, outIndex = 0;
    if (SUCCEEDED(hr)) hr = bufferManager_->FindColumnByLineageID(inputType, inLineage, &inIndex);
    if (SUCCEEDED(hr)) hr = bufferManager_->GetColumnInfo(inputType, inIndex, &pair.in);
    if (SUCCEEDED(hr))
      hr = bufferManager_->FindColumnByLineageID(outputType, outLineage, &outIndex);
    if (SUCCEEDED(hr)) hr = bufferManager_->GetColumnInfo(outputType, outIndex, &pair.out);
    pairs_.push_back(pair);
  }
  return hr;
}

HRESULT STDMETHODCALLTYPE FakeComponent::PrimeOutput(int32_t outputs, int32_t*, IDTSBuffer90** buffers) {
  Log("PrimeOutput(" + std::to_string(outputs) + ")");
  if (FAILED(faults_.primeOutput)) return faults_.primeOutput;
  std::lock_guard lock(mutex_);
  Replace(&output_, buffers[0]);
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
      const ColumnPair& p = pairs_[c];
      std::memcpy(to + p.out.StatusOffset, from + p.in.StatusOffset, 4);
      if (p.out.LengthOffset != kNoLengthField) {
        std::memcpy(to + p.out.LengthOffset, from + p.in.LengthOffset, 4);
      }
      std::memcpy(to + p.out.DataOffset, from + p.in.DataOffset,
                  std::min(p.in.MaxLength, p.out.MaxLength));
    }
  }
  if (SUCCEEDED(hr) && end == VARIANT_TRUE && faults_.endOutput) {
    hr = output_->SetEndOfRowset();
    Replace(&output_, static_cast<IDTSBuffer90*>(nullptr));
  }
  return hr;
}

HRESULT STDMETHODCALLTYPE FakeComponent::PostExecute() {
  Log("PostExecute");
  std::lock_guard lock(mutex_);
  Replace(&output_, static_cast<IDTSBuffer90*>(nullptr));
  return S_OK;
}

}  // namespace host::testing
