// A small component for testing the runner: it answers both of the host's
// component interfaces, logs every call it receives, mirrors each selected
// input column as an output column, and copies input rows to the output
// through the buffer manager's descriptions of both layouts.
#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "interfaces/component_interfaces.h"

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

  HRESULT QueryInterface(REFIID iid, void** object) override;
  ULONG AddRef() override;
  ULONG Release() override;
  HRESULT GetTypeInfoCount(uint32_t*) override { return E_NOTIMPL; }
  HRESULT GetTypeInfo(uint32_t, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, char16_t**, uint32_t, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID, REFIID, LCID, uint16_t, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                 uint32_t*) override {
    return E_NOTIMPL;
  }

  // Run time.
  HRESULT PrepareForExecute() override { return Log("PrepareForExecute"); }
  HRESULT PreExecute() override;
  HRESULT PrimeOutput(int32_t outputs, int32_t* outputIDs, IDTSBuffer90** buffers) override;
  HRESULT ProcessInput(int32_t inputID, IDTSBuffer90* buffer) override;
  HRESULT PostExecute() override;
  HRESULT Cleanup() override { return Log("Cleanup"); }
  HRESULT put_ComponentMetaData(IDTSComponentMetaData90* metadata) override;
  HRESULT put_Connections(IUnknown*) override { return S_OK; }
  HRESULT put_BufferManager(IDTSBufferManager90* bufferManager) override;
  HRESULT put_EventInfos(IUnknown*) override { return S_OK; }
  HRESULT put_LogEntryInfos(IUnknown*) override { return S_OK; }
  HRESULT put_Variables(IUnknown*) override { return S_OK; }
  HRESULT put_RuntimeConnections(IUnknown*) override { return S_OK; }
  HRESULT get_ExternalColumnCount(int32_t*) override { return S_OK; }

  // Design time.
  HRESULT ProvideComponentProperties() override;
  HRESULT SetUsageType(int32_t inputID, IDTSVirtualInput90* virtualInput, int32_t lineageID,
                       int32_t usageType, IDTSInputColumn90** inputColumn) override;
  HRESULT SetComponentProperty(BSTR name, VARIANT value, IDTSCustomProperty90**) override;
  HRESULT SetInputColumnProperty(int32_t inputID, int32_t columnID, BSTR name, VARIANT value,
                                 IDTSCustomProperty90**) override;
  HRESULT Validate(int32_t*) override { return S_OK; }
  HRESULT ReinitializeMetaData() override { return E_NOTIMPL; }
  HRESULT InsertInput(int32_t, int32_t, IDTSInput90**) override { return E_NOTIMPL; }
  HRESULT OnInputPathAttached(int32_t) override { return S_OK; }
  HRESULT InsertOutput(int32_t, int32_t, IDTSOutput90**) override { return E_NOTIMPL; }
  HRESULT DeleteInput(int32_t) override { return E_NOTIMPL; }
  HRESULT DeleteOutput(int32_t) override { return E_NOTIMPL; }
  HRESULT InsertOutputColumnAt(int32_t, int32_t, BSTR, BSTR, IDTSOutputColumn90**) override {
    return E_NOTIMPL;
  }
  HRESULT DeleteOutputColumn(int32_t, int32_t) override { return E_NOTIMPL; }
  HRESULT SetOutputColumnProperty(int32_t, int32_t, BSTR, VARIANT,
                                  IDTSCustomProperty90**) override {
    return E_NOTIMPL;
  }
  HRESULT SetOutputProperty(int32_t, BSTR, VARIANT) override { return S_OK; }
  HRESULT SetInputProperty(int32_t, BSTR, VARIANT) override { return S_OK; }
  HRESULT OnOutputPathAttached(int32_t) override { return S_OK; }
  HRESULT OnInputPathDetached(int32_t) override { return S_OK; }
  HRESULT PerformUpgrade(int32_t) override { return S_OK; }
  HRESULT OnOutputPathDetached(int32_t) override { return S_OK; }
  HRESULT SetExternalMetadataColumnProperty(int32_t, BSTR, VARIANT) override { return S_OK; }
  HRESULT MapInputColumn(int32_t, int32_t, int32_t) override { return S_OK; }
  HRESULT MapOutputColumn(int32_t, int32_t, int32_t) override { return S_OK; }
  HRESULT OnDeletingInputColumn(int32_t, int32_t) override { return S_OK; }
  HRESULT OnDeletingOutputColumn(int32_t, int32_t) override { return S_OK; }
  HRESULT AcquireConnections(IUnknown*) override { return S_OK; }
  HRESULT ReleaseConnections() override { return S_OK; }
  HRESULT DescribeRedirectedErrorCode(int32_t, BSTR*) override { return S_OK; }
  HRESULT put_ComponentMetaDataForDesign(IDTSComponentMetaData90*) override { return S_OK; }
  HRESULT RegisterEvents() override { return S_OK; }

 private:
  explicit FakeComponent(Faults faults) : faults_(faults) {}
  virtual ~FakeComponent();
  HRESULT Log(std::string call);
  HRESULT CopyRows(IDTSBuffer90* input);

  const Faults faults_;
  std::atomic<ULONG> refs_{1};
  mutable std::mutex mutex_;
  std::vector<std::string> calls_;
  std::vector<std::thread::id> processInputThreads_;
  IDTSComponentMetaData90* metadata_ = nullptr;
  IDTSBufferManager90* bufferManager_ = nullptr;
  IDTSBuffer90* output_ = nullptr;
  std::map<int32_t, int32_t> outputLineageOf_;  // Input lineage ID -> output lineage ID.
  struct ColumnPair {
    BufferColumnInfo in, out;
  };
  std::vector<ColumnPair> pairs_;
  int processInputCalls_ = 0;
};

}  // namespace host::testing
