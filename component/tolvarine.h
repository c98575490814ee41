// CTolvarine: the sort component as the pipeline host sees it.
//
// One object answers four interfaces: the host's run-time interface (which
// also answers IUnknown and IDispatch), the host's design-time interface, and
// the component's own ITolvarine and ITolvarineStatistics. It is free-threaded: the host may call
// it from any thread, in the order the host guarantees (metadata and buffer manager handed over
// before PreExecute; PrimeOutput after PreExecute and before the last input buffer; PostExecute
// after the last ProcessInput has returned). No operation takes a lock of the object's own.
//
// State: the host's component metadata and buffer manager (counted
// references, replaced by the two hand-over operations) and the embedded
// SortEngine, which lives as long as the object and is brought into service
// by PreExecute and out of it by PostExecute. Design time keeps no state:
// the host's metadata is the only store.
#pragma once

#include <atomic>
#include <cstdint>

#include "component/module_lock.h"
#include "component/output_row_writer.h"
#include "engine/sort_engine.h"
#include "interfaces/component_interfaces.h"
#include "platform/com.h"
#include "platform/sync.h"

class CTolvarine final : public IDTSRuntimeComponent90,
                         public IDTSDesigntimeComponent90,
                         public ITolvarine,
                         public ITolvarineStatistics {
 public:
  // Makes a component object and hands back its interface `iid`. `module`
  // (may be null) is locked for the object's life. E_POINTER without a
  // result place, E_NOINTERFACE (object destroyed again) for an interface
  // it does not have, E_OUTOFMEMORY when it cannot be allocated.
  static HRESULT CreateInstance(ModuleLockCount* module, REFIID iid, void** object);

  // IUnknown, shared by all four interfaces.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IDispatch, shared by both host interfaces. The type library describes
  // neither host interface, so only the count of type information answers.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, OLECHAR** names, UINT count, LCID locale,
                        DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID iid, LCID locale, uint16_t flags, DISPPARAMS* params,
                 VARIANT* result, EXCEPINFO* exception, UINT* argError) override;

  // IDTSRuntimeComponent90 (runtime_execution.cc).
  HRESULT STDMETHODCALLTYPE PrepareForExecute() override;
  HRESULT STDMETHODCALLTYPE PreExecute() override;
  HRESULT STDMETHODCALLTYPE PrimeOutput(int32_t outputs, int32_t* outputIDs, IDTSBuffer90** buffers) override;
  HRESULT STDMETHODCALLTYPE ProcessInput(int32_t inputID, IDTSBuffer90* buffer) override;
  HRESULT STDMETHODCALLTYPE PostExecute() override;
  HRESULT STDMETHODCALLTYPE Cleanup() override;
  HRESULT STDMETHODCALLTYPE put_ComponentMetaData(IDTSComponentMetaData90* metadata) override;
  HRESULT STDMETHODCALLTYPE put_Connections(IUnknown* connections) override;
  HRESULT STDMETHODCALLTYPE put_BufferManager(IDTSBufferManager90* bufferManager) override;
  HRESULT STDMETHODCALLTYPE put_EventInfos(IUnknown* eventInfos) override;
  HRESULT STDMETHODCALLTYPE put_LogEntryInfos(IUnknown* logEntryInfos) override;
  HRESULT STDMETHODCALLTYPE put_Variables(IUnknown* variables) override;
  HRESULT STDMETHODCALLTYPE put_RuntimeConnections(IUnknown* connections) override;
  HRESULT STDMETHODCALLTYPE get_ExternalColumnCount(int32_t* count) override;

  // ITolvarineStatistics (runtime_execution.cc).
  HRESULT STDMETHODCALLTYPE GetStatistics(TolvarineStatistics* statistics) override;

  // IDTSDesigntimeComponent90: component_properties.cc, column_usage.cc and
  // design_time_stubs.cc.
  HRESULT STDMETHODCALLTYPE ProvideComponentProperties() override;
  HRESULT STDMETHODCALLTYPE Validate(int32_t* status) override;
  HRESULT STDMETHODCALLTYPE ReinitializeMetaData() override;
  HRESULT STDMETHODCALLTYPE InsertInput(int32_t position, int32_t inputID, IDTSInput90** input) override;
  HRESULT STDMETHODCALLTYPE OnInputPathAttached(int32_t inputID) override;
  HRESULT STDMETHODCALLTYPE SetUsageType(int32_t inputID, IDTSVirtualInput90* virtualInput, int32_t lineageID,
                       int32_t usageType, IDTSInputColumn90** inputColumn) override;
  HRESULT STDMETHODCALLTYPE SetComponentProperty(BSTR name, VARIANT value, IDTSCustomProperty90** property) override;
  HRESULT STDMETHODCALLTYPE InsertOutput(int32_t position, int32_t outputID, IDTSOutput90** output) override;
  HRESULT STDMETHODCALLTYPE DeleteInput(int32_t inputID) override;
  HRESULT STDMETHODCALLTYPE SetInputColumnProperty(int32_t inputID, int32_t inputColumnID, BSTR name, VARIANT value,
                                 IDTSCustomProperty90** property) override;
  HRESULT STDMETHODCALLTYPE DeleteOutput(int32_t outputID) override;
  HRESULT STDMETHODCALLTYPE InsertOutputColumnAt(int32_t outputID, int32_t position, BSTR name, BSTR description,
                               IDTSOutputColumn90** column) override;
  HRESULT STDMETHODCALLTYPE DeleteOutputColumn(int32_t outputID, int32_t columnID) override;
  HRESULT STDMETHODCALLTYPE SetOutputColumnProperty(int32_t outputID, int32_t columnID, BSTR name, VARIANT value,
                                  IDTSCustomProperty90** property) override;
  HRESULT STDMETHODCALLTYPE SetOutputProperty(int32_t outputID, BSTR name, VARIANT value) override;
  HRESULT STDMETHODCALLTYPE SetInputProperty(int32_t inputID, BSTR name, VARIANT value) override;
  HRESULT STDMETHODCALLTYPE OnOutputPathAttached(int32_t outputID) override;
  HRESULT STDMETHODCALLTYPE OnInputPathDetached(int32_t inputID) override;
  HRESULT STDMETHODCALLTYPE PerformUpgrade(int32_t pipelineVersion) override;
  HRESULT STDMETHODCALLTYPE OnOutputPathDetached(int32_t outputID) override;
  HRESULT STDMETHODCALLTYPE SetExternalMetadataColumnProperty(int32_t id, BSTR name, VARIANT value) override;
  HRESULT STDMETHODCALLTYPE MapInputColumn(int32_t inputID, int32_t columnID, int32_t externalID) override;
  HRESULT STDMETHODCALLTYPE MapOutputColumn(int32_t outputID, int32_t columnID, int32_t externalID) override;
  HRESULT STDMETHODCALLTYPE OnDeletingInputColumn(int32_t inputID, int32_t columnID) override;
  HRESULT STDMETHODCALLTYPE OnDeletingOutputColumn(int32_t outputID, int32_t columnID) override;
  HRESULT STDMETHODCALLTYPE AcquireConnections(IUnknown* transaction) override;
  HRESULT STDMETHODCALLTYPE ReleaseConnections() override;
  HRESULT STDMETHODCALLTYPE DescribeRedirectedErrorCode(int32_t code, BSTR* description) override;
  HRESULT STDMETHODCALLTYPE put_ComponentMetaDataForDesign(IDTSComponentMetaData90* metadata) override;
  HRESULT STDMETHODCALLTYPE RegisterEvents() override;

 private:
  explicit CTolvarine(ModuleLockCount* module);
  // Runs on the last Release. The members go in reverse order of
  // declaration: the engine first (its destructor stops a running engine),
  // then the output row writer (which releases the output buffer), then the
  // buffer manager, then the metadata,
  // then the critical section; the module lock goes last, once nothing of
  // the object is left to tear down.
  ~CTolvarine();
  CTolvarine(const CTolvarine&) = delete;
  CTolvarine& operator=(const CTolvarine&) = delete;

  // Reads the five component custom properties into the engine's settings.
  HRESULT ApplyComponentProperties();

  // Declared first so that it is destroyed last.
  ModuleLockHolder moduleLock_;
  std::atomic<ULONG> refs_{0};
  // Created with the object as every free-threaded object of the library
  // has one; no operation enters it.
  plat::CriticalSection lock_;
  ComPtr<IDTSComponentMetaData90> ComponentMetaData;
  ComPtr<IDTSBufferManager90> BufferManager;
  // Rows handed in since PreExecute.
  std::atomic<uint64_t> rowsIn_{0};
  // Declared before the engine, which hands it rows until it is destroyed.
  OutputRowWriter Output;
  SortEngine Engine;
};
