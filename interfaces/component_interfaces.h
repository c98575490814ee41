// The interfaces the pipeline host calls on a component, and the identifiers
// of the Tolvarine component that hosts use to create it.
#pragma once

#include <cstdint>

#include "interfaces/pipeline_interfaces.h"
#include "platform/com.h"

// {AE9DA26D-2AFB-4217-8A4C-49CECC0620FE}
constexpr IID IID_IDTSRuntimeComponent90 = {
    0xAE9DA26D, 0x2AFB, 0x4217, {0x8A, 0x4C, 0x49, 0xCE, 0xCC, 0x06, 0x20, 0xFE}};
// {76F19268-BCE0-4A23-95D1-F85AC738941D}
constexpr IID IID_IDTSDesigntimeComponent90 = {
    0x76F19268, 0xBCE0, 0x4A23, {0x95, 0xD1, 0xF8, 0x5A, 0xC7, 0x38, 0x94, 0x1D}};

constexpr GUID CLSID_Tolvarine = {
    0xFDEC65FE,
    0x7212,
    0x4737,
    {0xB2, 0x22, 0xD7, 0x28, 0x3A, 0xB5, 0xA3, 0x83}};  // {FDEC65FE-7212-4737-B222-D7283AB5A383}
constexpr GUID APPID_Tolvarine = {
    0xD4D49510,
    0x4513,
    0x49A4,
    {0x93, 0x54, 0x8B, 0x90, 0x5E, 0x5C, 0x74, 0x74}};  // {D4D49510-4513-49A4-9354-8B905E5C7474}
constexpr GUID LIBID_TolvarineLib = {
    0x0A3BF4D9,
    0xC097,
    0x4E13,
    {0x89, 0xA5, 0xB1, 0xD8, 0x56, 0x0D, 0x82, 0x97}};  // {0A3BF4D9-C097-4E13-89A5-B1D8560D8297}
constexpr GUID IID_ITolvarine = {
    0xAB00CA3E,
    0xE989,
    0x4E77,
    {0xB2, 0x18, 0xD0, 0x6E, 0xEC, 0x35, 0xBE, 0xA1}};  // {AB00CA3E-E989-4E77-B218-D06EEC35BEA1}

// {ACB8635C-3A7B-431E-925D-56CCBE2FCAB2}
constexpr IID IID_ITolvarineStatistics = {
    0xACB8635C, 0x3A7B, 0x431E, {0x92, 0x5D, 0x56, 0xCC, 0xBE, 0x2F, 0xCA, 0xB2}};

constexpr char16_t kTolvarineProgID[] = u"Tolvarine.Tolvarine";

// Pre-execution failures of the component's own, in FACILITY_ITF, so that a
// host can tell the user which rule the layout broke.
// An output column does not mirror its input column: another data type, or a
// value slot smaller than the input's.
constexpr HRESULT TOLVARINE_E_COLUMNMISMATCH = static_cast<HRESULT>(0x80040200u);
// The input row is wider than the engine can store (kMaxRowWidth, 1 MiB).
constexpr HRESULT TOLVARINE_E_ROWTOOWIDE = static_cast<HRESULT>(0x80040201u);

// The run-time interface: fourteen operations after IDispatch's.
struct IDTSRuntimeComponent90 : IDispatch {
  virtual HRESULT STDMETHODCALLTYPE PrepareForExecute() = 0;  // 1
  virtual HRESULT STDMETHODCALLTYPE PreExecute() = 0;         // 2
  virtual HRESULT STDMETHODCALLTYPE PrimeOutput(int32_t outputs, int32_t* outputIDs,
                                                IDTSBuffer90** buffers) = 0;                  // 3
  virtual HRESULT STDMETHODCALLTYPE ProcessInput(int32_t inputID, IDTSBuffer90* buffer) = 0;  // 4
  virtual HRESULT STDMETHODCALLTYPE PostExecute() = 0;                                        // 5
  virtual HRESULT STDMETHODCALLTYPE Cleanup() = 0;                                            // 6
  virtual HRESULT STDMETHODCALLTYPE
  put_ComponentMetaData(IDTSComponentMetaData90* metadata) = 0;                                 // 7
  virtual HRESULT STDMETHODCALLTYPE put_Connections(IUnknown* connections) = 0;                 // 8
  virtual HRESULT STDMETHODCALLTYPE put_BufferManager(IDTSBufferManager90* bufferManager) = 0;  // 9
  virtual HRESULT STDMETHODCALLTYPE put_EventInfos(IUnknown* eventInfos) = 0;           // 10
  virtual HRESULT STDMETHODCALLTYPE put_LogEntryInfos(IUnknown* logEntryInfos) = 0;     // 11
  virtual HRESULT STDMETHODCALLTYPE put_Variables(IUnknown* variables) = 0;             // 12
  virtual HRESULT STDMETHODCALLTYPE put_RuntimeConnections(IUnknown* connections) = 0;  // 13
  virtual HRESULT STDMETHODCALLTYPE get_ExternalColumnCount(int32_t* count) = 0;        // 14

 protected:
  ~IDTSRuntimeComponent90() = default;
};

// The design-time interface: thirty operations after IDispatch's. Only
// ProvideComponentProperties, SetUsageType, SetComponentProperty,
// SetInputColumnProperty and PerformUpgrade do anything; the rest answer a
// fixed result without reading their arguments.
struct IDTSDesigntimeComponent90 : IDispatch {
  virtual HRESULT STDMETHODCALLTYPE ProvideComponentProperties() = 0;  // 1
  virtual HRESULT STDMETHODCALLTYPE Validate(int32_t* status) = 0;     // 2
  virtual HRESULT STDMETHODCALLTYPE ReinitializeMetaData() = 0;        // 3
  virtual HRESULT STDMETHODCALLTYPE InsertInput(int32_t position, int32_t inputID,
                                                IDTSInput90** input) = 0;      // 4
  virtual HRESULT STDMETHODCALLTYPE OnInputPathAttached(int32_t inputID) = 0;  // 5
  virtual HRESULT STDMETHODCALLTYPE SetUsageType(int32_t inputID, IDTSVirtualInput90* virtualInput,
                                                 int32_t lineageID, int32_t usageType,
                                                 IDTSInputColumn90** inputColumn) = 0;  // 6
  virtual HRESULT STDMETHODCALLTYPE SetComponentProperty(BSTR name, VARIANT value,
                                                         IDTSCustomProperty90** property) = 0;  // 7
  virtual HRESULT STDMETHODCALLTYPE InsertOutput(int32_t position, int32_t outputID,
                                                 IDTSOutput90** output) = 0;  // 8
  virtual HRESULT STDMETHODCALLTYPE DeleteInput(int32_t inputID) = 0;         // 9
  virtual HRESULT STDMETHODCALLTYPE
  SetInputColumnProperty(int32_t inputID, int32_t inputColumnID, BSTR name, VARIANT value,
                         IDTSCustomProperty90** property) = 0;           // 10
  virtual HRESULT STDMETHODCALLTYPE DeleteOutput(int32_t outputID) = 0;  // 11
  virtual HRESULT STDMETHODCALLTYPE InsertOutputColumnAt(int32_t outputID, int32_t position,
                                                         BSTR name, BSTR description,
                                                         IDTSOutputColumn90** column) = 0;  // 12
  virtual HRESULT STDMETHODCALLTYPE DeleteOutputColumn(int32_t outputID,
                                                       int32_t columnID) = 0;  // 13
  virtual HRESULT STDMETHODCALLTYPE
  SetOutputColumnProperty(int32_t outputID, int32_t columnID, BSTR name, VARIANT value,
                          IDTSCustomProperty90** property) = 0;  // 14
  virtual HRESULT STDMETHODCALLTYPE SetOutputProperty(int32_t outputID, BSTR name,
                                                      VARIANT value) = 0;  // 15
  virtual HRESULT STDMETHODCALLTYPE SetInputProperty(int32_t inputID, BSTR name,
                                                     VARIANT value) = 0;          // 16
  virtual HRESULT STDMETHODCALLTYPE OnOutputPathAttached(int32_t outputID) = 0;   // 17
  virtual HRESULT STDMETHODCALLTYPE OnInputPathDetached(int32_t inputID) = 0;     // 18
  virtual HRESULT STDMETHODCALLTYPE PerformUpgrade(int32_t pipelineVersion) = 0;  // 19
  virtual HRESULT STDMETHODCALLTYPE OnOutputPathDetached(int32_t outputID) = 0;   // 20
  virtual HRESULT STDMETHODCALLTYPE SetExternalMetadataColumnProperty(int32_t id, BSTR name,
                                                                      VARIANT value) = 0;  // 21
  virtual HRESULT STDMETHODCALLTYPE MapInputColumn(int32_t inputID, int32_t columnID,
                                                   int32_t externalID) = 0;  // 22
  virtual HRESULT STDMETHODCALLTYPE MapOutputColumn(int32_t outputID, int32_t columnID,
                                                    int32_t externalID) = 0;  // 23
  virtual HRESULT STDMETHODCALLTYPE OnDeletingInputColumn(int32_t inputID,
                                                          int32_t columnID) = 0;  // 24
  virtual HRESULT STDMETHODCALLTYPE OnDeletingOutputColumn(int32_t outputID,
                                                           int32_t columnID) = 0;   // 25
  virtual HRESULT STDMETHODCALLTYPE AcquireConnections(IUnknown* transaction) = 0;  // 26
  virtual HRESULT STDMETHODCALLTYPE ReleaseConnections() = 0;                       // 27
  virtual HRESULT STDMETHODCALLTYPE DescribeRedirectedErrorCode(int32_t code,
                                                                BSTR* description) = 0;  // 28
  virtual HRESULT STDMETHODCALLTYPE
  put_ComponentMetaDataForDesign(IDTSComponentMetaData90* metadata) = 0;  // 29
  virtual HRESULT STDMETHODCALLTYPE RegisterEvents() = 0;                 // 30

 protected:
  ~IDTSDesigntimeComponent90() = default;
};

// The component's own interface: IUnknown's operations only.
struct ITolvarine : IUnknown {
 protected:
  ~ITolvarine() = default;
};

// What the component's sort has done since its last PreExecute.
struct TolvarineStatistics {
  uint64_t RowsIn;               // Rows handed to ProcessInput.
  uint64_t RowsOut;              // Rows added to the output buffer.
  uint64_t BytesSpilled;         // Row bytes written to scratch files by spills.
  uint32_t ScratchFilesWritten;  // By spills and by merges of runs on disk.
  uint32_t Runs;                 // Sorted runs made from the input, before any merge.
  uint64_t PeakBytesInMemory;    // The most row bytes held in memory at once.
};

// The component's statistics, reached by QueryInterface on the component
// object. GetStatistics may be called from any thread at any time, also
// while the sort runs (the counts are then a moment's) and after
// PostExecute (they stay until the next PreExecute).
struct ITolvarineStatistics : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetStatistics(TolvarineStatistics* statistics) = 0;

 protected:
  ~ITolvarineStatistics() = default;
};

// Entry points exported by the component library.
extern "C" {
// stdcall on 32-bit Windows, as COM calls them.
using DllGetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID clsid, REFIID iid, void** object);
using DllCanUnloadNowFn = HRESULT(STDAPICALLTYPE*)();
using DllRegisterServerFn = HRESULT(STDAPICALLTYPE*)();
using DllUnregisterServerFn = HRESULT(STDAPICALLTYPE*)();
}
