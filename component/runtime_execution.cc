// The run-time half of CTolvarine: pre-execution turns the component custom
// properties into the engine's settings and starts the engine, output
// priming hands the output buffer to the writer of output rows, input processing hands every input
// buffer's rows to the engine, and post-execution stops the engine.
#include <cstdint>
#include <vector>

#include "component/build_sort_columns.h"
#include "component/custom_properties.h"
#include "component/output_row_writer.h"
#include "component/sort_threads.h"
#include "component/tolvarine.h"
#include "engine/engine_limits.h"
#include "interfaces/property_names.h"
#include "keys/sort_columns.h"
#include "platform/no_throw.h"
#include "platform/thread.h"
#include "scratch/scratch_areas.h"

namespace {

// Reads the value of the component custom property `name` and checks that
// it has exactly the type `type`: values are never converted, and any other
// type is E_UNEXPECTED.
HRESULT ReadPropertyValue(IDTSCustomPropertyCollection90* properties, const char16_t* name,
                          VARTYPE type, plat::Variant* value) {
  ComPtr<IDTSCustomProperty90> property;
  HRESULT hr = GetCustomPropertyByName(properties, name, property.Put());
  if (FAILED(hr)) return hr;
  hr = property->get_Value(value->Put());
  if (FAILED(hr)) return hr;
  return value->Get().vt == type ? S_OK : E_UNEXPECTED;
}

// The row width of the buffer type of the component's first input or
// output.
template <class Collection, class Item>
HRESULT BufferRowWidth(IDTSBufferManager90* buffers, Collection* collection, uint32_t* rowWidth) {
  ComPtr<Item> item;
  HRESULT hr = GetItemAt(collection, 0, item.Put());
  if (FAILED(hr)) return hr;
  int32_t bufferType = 0;
  hr = item->get_Buffer(&bufferType);
  if (FAILED(hr)) return hr;
  return buffers->GetRowWidth(bufferType, rowWidth);
}

// The widths of an input row and an output row. The engine stores rows of at
// most kMaxRowWidth bytes; the input buffer's width is known before any row
// arrives, so a wider input is refused here instead of after all of it has
// been read.
HRESULT GetRowWidths(IDTSComponentMetaData90* metadata, IDTSBufferManager90* buffers,
                     uint32_t* inputWidth, uint32_t* outputWidth) {
  ComPtr<IDTSInputCollection90> inputs;
  HRESULT hr = metadata->get_InputCollection(inputs.Put());
  if (FAILED(hr)) return hr;
  hr = BufferRowWidth<IDTSInputCollection90, IDTSInput90>(buffers, inputs.Get(), inputWidth);
  if (FAILED(hr)) return hr;
  if (*inputWidth > kMaxRowWidth) return TOLVARINE_E_ROWTOOWIDE;
  ComPtr<IDTSOutputCollection90> outputs;
  hr = metadata->get_OutputCollection(outputs.Put());
  if (FAILED(hr)) return hr;
  return BufferRowWidth<IDTSOutputCollection90, IDTSOutput90>(buffers, outputs.Get(), outputWidth);
}

}  // namespace

uint32_t SortThreadCount(int32_t requested) {
  if (requested >= 1 && static_cast<uint32_t>(requested) <= kMaxThreadCount) {
    return static_cast<uint32_t>(requested);
  }
  const uint32_t processors = plat::ProcessorCount();
  if (processors < 1) return 1;
  return processors > kMaxThreadCount ? kMaxThreadCount : processors;
}

HRESULT STDMETHODCALLTYPE CTolvarine::PrepareForExecute() {
  return S_OK;
}

HRESULT CTolvarine::ApplyComponentProperties() {
  ComPtr<IDTSCustomPropertyCollection90> properties;
  HRESULT hr = ComponentMetaData->get_CustomPropertyCollection(properties.Put());
  if (FAILED(hr)) return hr;

  // The properties are read and applied one at a time, in this order: a
  // failure leaves the earlier ones applied and the later ones unread.
  plat::Variant value;
  hr = ReadPropertyValue(properties.Get(), kEliminateDuplicatesProperty, VT_BOOL, &value);
  if (FAILED(hr)) return hr;
  Engine.EliminateDuplicates = value.Get().boolVal == VARIANT_TRUE;

  hr = ReadPropertyValue(properties.Get(), kSortThreadsProperty, VT_I4, &value);
  if (FAILED(hr)) return hr;
  Engine.ThreadCount = SortThreadCount(value.Get().lVal);

  hr = ReadPropertyValue(properties.Get(), kScratchAreasProperty, VT_BSTR, &value);
  if (FAILED(hr)) return hr;
  // Parsing appends, and each execution uses only the areas of its own
  // property text: those of an earlier execution are dropped first. File
  // numbers keep counting across executions.
  Engine.ScratchAreaList.Areas.clear();
  Engine.ScratchAreaList.NextArea = 0;
  hr = ParseScratchAreas(&Engine.ScratchAreaList, plat::BstrChars(value.Get().bstrVal));
  if (FAILED(hr)) return hr;

  hr = ReadPropertyValue(properties.Get(), kRamBudgetProperty, VT_I4, &value);
  if (FAILED(hr)) return hr;
  const int32_t ramBudget = value.Get().lVal;
  hr = ReadPropertyValue(properties.Get(), kScratchFileSizeProperty, VT_I4, &value);
  if (FAILED(hr)) return hr;
  // Values whose byte counts do not fit 32 bits are clamped there.
  Engine.ComputeMemorySettings(ramBudget, value.Get().lVal);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CTolvarine::PreExecute() {
  return plat::NoThrow([&]() -> HRESULT {
    if (!ComponentMetaData) return E_UNEXPECTED;
    // An execution the host never ended with PostExecute is stopped here, so
    // that Create never starts a second set of threads over the first.
    Engine.Destroy();
    HRESULT hr = ApplyComponentProperties();
    if (FAILED(hr)) return hr;
    if (!BufferManager) return E_UNEXPECTED;
    uint32_t inputWidth = 0, outputWidth = 0;
    hr = GetRowWidths(ComponentMetaData.Get(), BufferManager.Get(), &inputWidth, &outputWidth);
    if (FAILED(hr)) return hr;
    // A failed earlier PreExecute may have left part of a description. The
    // output columns go to the writer of output rows; the engine needs the
    // keys alone.
    std::vector<SortColumn> columns;
    Engine.SortKeys.clear();
    hr = BuildSortColumns(ComponentMetaData.Get(), BufferManager.Get(), &columns, &Engine.SortKeys);
    if (FAILED(hr)) return hr;
    Output.Prepare(columns, inputWidth, outputWidth);
    rowsIn_ = 0;
    return Engine.Create();
  });
}

HRESULT STDMETHODCALLTYPE CTolvarine::PrimeOutput(int32_t outputs, int32_t* outputIDs, IDTSBuffer90** buffers) {
  if (outputs != 1) return E_UNEXPECTED;
  if (!buffers) return E_POINTER;
  // The host's order makes these stores visible to the engine's threads:
  // they use the sink only after the input's last buffer has been handed
  // over.
  Output.SetBuffer(buffers[0]);
  Engine.Output = &Output;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CTolvarine::ProcessInput(int32_t inputID, IDTSBuffer90* buffer) {
  if (!buffer) return E_POINTER;
  HRESULT hr = buffer->Open();
  if (FAILED(hr)) return hr;
  hr = plat::NoThrow([&]() -> HRESULT {
    VARIANT_BOOL endOfRowset = VARIANT_FALSE;
    HRESULT hr = buffer->get_EndOfRowset(&endOfRowset);
    if (FAILED(hr)) return hr;
    uint32_t rowCount = 0;
    hr = buffer->get_RowCount(&rowCount);
    if (FAILED(hr)) return hr;
    uint32_t rowWidth = 0;
    uint8_t* rowData = nullptr;
    if (rowCount > 0) {
      hr = buffer->GetRowData(0, &rowWidth, &rowData);
      if (FAILED(hr)) return hr;
      // The rows are copied as one block of rowCount * rowWidth bytes, a
      // 32-bit count in the engine: a block it cannot address is refused.
      if (!rowData || rowWidth == 0 || static_cast<uint64_t>(rowCount) * rowWidth > UINT32_MAX) {
        return E_INVALIDARG;
      }
    }
    const bool end = endOfRowset == VARIANT_TRUE;
    rowsIn_.fetch_add(rowCount, std::memory_order_relaxed);
    hr = Engine.AddRows(rowCount, rowWidth, rowData, end);
    // The output's rowset is ended even when the sort failed, so that the
    // host never waits for rows that will not come.
    if (end && Engine.Output) {
      Output.EndRowset();
      Engine.Output = nullptr;
    }
    return hr;
  });
  buffer->Close();
  return hr;
}

HRESULT STDMETHODCALLTYPE CTolvarine::PostExecute() {
  Engine.Destroy();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CTolvarine::GetStatistics(TolvarineStatistics* statistics) {
  if (!statistics) return E_POINTER;
  const RunStore::Costs costs = Engine.Costs();
  *statistics = {.RowsIn = rowsIn_.load(std::memory_order_relaxed),
                 .RowsOut = Output.RowsPut(),
                 .BytesSpilled = costs.BytesSpilled,
                 .ScratchFilesWritten = costs.ScratchFilesWritten,
                 .Runs = costs.RunsGenerated,
                 .PeakBytesInMemory = costs.PeakBytesInMemory};
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CTolvarine::Cleanup() {
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CTolvarine::put_ComponentMetaData(IDTSComponentMetaData90* metadata) {
  if (ComponentMetaData.Get() != metadata) ComponentMetaData.Reset(metadata);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CTolvarine::put_Connections(IUnknown*) {
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CTolvarine::put_BufferManager(IDTSBufferManager90* bufferManager) {
  if (BufferManager.Get() != bufferManager) BufferManager.Reset(bufferManager);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CTolvarine::put_EventInfos(IUnknown*) {
  return S_OK;
}
HRESULT STDMETHODCALLTYPE CTolvarine::put_LogEntryInfos(IUnknown*) {
  return S_OK;
}
HRESULT STDMETHODCALLTYPE CTolvarine::put_Variables(IUnknown*) {
  return S_OK;
}
HRESULT STDMETHODCALLTYPE CTolvarine::put_RuntimeConnections(IUnknown*) {
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CTolvarine::get_ExternalColumnCount(int32_t* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}
