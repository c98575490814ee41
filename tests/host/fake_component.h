// A small component for testing the runner: it answers both of the host's
// component interfaces, logs every call it receives, mirrors each selected
// input column as an output column, and copies input rows to the output
// through the host's descriptions of both layouts (read through the host's
// own classes: the interfaces themselves are tested elsewhere).
#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "host/pipeline_host.h"

namespace host::testing {

class FakeComponent : public IDTSRuntimeComponent90, public IDTSDesigntimeComponent90 {
 public:
  struct Faults {
    HRESULT preExecute = S_OK;
    HRESULT primeOutput = S_OK;
    int failProcessInputCall = -1;  // 0-based call that fails with E_FAIL.
    bool endOutput = true;          // False: never ends the output rowset.
  };

  // One reference.
  static FakeComponent* Create(Faults faults);

  std::vector<std::string> Calls() const;
  std::vector<std::thread::id> ProcessInputThreads() const;
  bool HoldsOutputBuffer() const;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, OLECHAR**, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, uint16_t, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                 UINT*) override {
    return E_NOTIMPL;
  }

  // Run time.
  HRESULT STDMETHODCALLTYPE PrepareForExecute() override { return Log("PrepareForExecute"); }
  HRESULT STDMETHODCALLTYPE PreExecute() override;
  HRESULT STDMETHODCALLTYPE PrimeOutput(int32_t outputs, int32_t* outputIDs, IDTSBuffer90** buffers) override;
  HRESULT STDMETHODCALLTYPE ProcessInput(int32_t inputID, IDTSBuffer90* buffer) override;
  HRESULT STDMETHODCALLTYPE PostExecute() override;
  HRESULT STDMETHODCALLTYPE Cleanup() override { return Log("Cleanup"); }
  HRESULT STDMETHODCALLTYPE put_ComponentMetaData(IDTSComponentMetaData90* metadata) override;
  HRESULT STDMETHODCALLTYPE put_Connections(IUnknown*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE put_BufferManager(IDTSBufferManager90* bufferManager) override;
  HRESULT STDMETHODCALLTYPE put_EventInfos(IUnknown*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE put_LogEntryInfos(IUnknown*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE put_Variables(IUnknown*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE put_RuntimeConnections(IUnknown*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE get_ExternalColumnCount(int32_t*) override { return S_OK; }

  // Design time.
  HRESULT STDMETHODCALLTYPE ProvideComponentProperties() override;
  HRESULT STDMETHODCALLTYPE SetUsageType(int32_t inputID, IDTSVirtualInput90* virtualInput, int32_t lineageID,
                       int32_t usageType, IDTSInputColumn90** inputColumn) override;
  HRESULT STDMETHODCALLTYPE SetComponentProperty(BSTR name, VARIANT value, IDTSCustomProperty90**) override;
  HRESULT STDMETHODCALLTYPE SetInputColumnProperty(int32_t inputID, int32_t columnID, BSTR name, VARIANT value,
                                 IDTSCustomProperty90**) override;
  HRESULT STDMETHODCALLTYPE Validate(int32_t*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE ReinitializeMetaData() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE InsertInput(int32_t, int32_t, IDTSInput90**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnInputPathAttached(int32_t) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE InsertOutput(int32_t, int32_t, IDTSOutput90**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DeleteInput(int32_t) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DeleteOutput(int32_t) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE InsertOutputColumnAt(int32_t, int32_t, BSTR, BSTR, IDTSOutputColumn90**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE DeleteOutputColumn(int32_t, int32_t) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetOutputColumnProperty(int32_t, int32_t, BSTR, VARIANT,
                                  IDTSCustomProperty90**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE SetOutputProperty(int32_t, BSTR, VARIANT) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetInputProperty(int32_t, BSTR, VARIANT) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnOutputPathAttached(int32_t) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnInputPathDetached(int32_t) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE PerformUpgrade(int32_t) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnOutputPathDetached(int32_t) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetExternalMetadataColumnProperty(int32_t, BSTR, VARIANT) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE MapInputColumn(int32_t, int32_t, int32_t) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE MapOutputColumn(int32_t, int32_t, int32_t) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnDeletingInputColumn(int32_t, int32_t) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnDeletingOutputColumn(int32_t, int32_t) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE AcquireConnections(IUnknown*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE ReleaseConnections() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE DescribeRedirectedErrorCode(int32_t, BSTR*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE put_ComponentMetaDataForDesign(IDTSComponentMetaData90*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RegisterEvents() override { return S_OK; }

 private:
  explicit FakeComponent(Faults faults) : faults_(faults) {}
  virtual ~FakeComponent() = default;
  HRESULT Log(std::string call);
  HRESULT CopyRows(IDTSBuffer90* input);

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

}  // namespace host::testing
