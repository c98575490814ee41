#include "component/build_sort_columns.h"

#include <new>
#include <stdexcept>

#include "interfaces/component_interfaces.h"
#include "interfaces/property_names.h"
#include "platform/no_throw.h"
#include "platform/variant.h"

namespace {

VARIANT PositionIndex(int32_t position) {
  VARIANT index;
  VariantInit(&index);
  index.vt = VT_I4;
  index.lVal = position;
  return index;
}

// A by-name index that borrows `name`: the caller keeps it alive and frees it.
VARIANT NameIndex(BSTR name) {
  VARIANT index;
  VariantInit(&index);
  index.vt = VT_BSTR;
  index.bstrVal = name;
  return index;
}

// The host objects and names that every column's description is read from.
struct MetadataSources {
  plat::Bstr sortColumnIdName;
  plat::Bstr comparisonFlagsName;
  ComPtr<IDTSInputColumnCollection90> inputColumns;
  ComPtr<IDTSOutputColumnCollection90> outputColumns;
  IDTSBufferManager90* bufferManager;
  int32_t inputBufferType;
  int32_t outputBufferType;
};

// The value of a custom property that must hold a 32-bit integer: the host's
// code when the property cannot be had, E_UNEXPECTED for any other type.
HRESULT ReadIntegerProperty(IDTSCustomPropertyCollection90* properties, BSTR name, int32_t* value) {
  ComPtr<IDTSCustomProperty90> property;
  HRESULT hr = properties->get_Item(NameIndex(name), property.Put());
  if (FAILED(hr)) return hr;
  plat::Variant content;
  hr = property->get_Value(content.Put());
  if (FAILED(hr)) return hr;
  if (content.Get().vt != VT_I4) return E_UNEXPECTED;
  *value = content.Get().lVal;
  return S_OK;
}

HRESULT DescribeBufferColumn(IDTSBufferManager90* bufferManager, int32_t bufferType,
                             int32_t lineageID, BufferColumnInfo* info) {
  int32_t columnIndex = 0;
  HRESULT hr = bufferManager->FindColumnByLineageID(bufferType, lineageID, &columnIndex);
  if (FAILED(hr)) return hr;
  return bufferManager->GetColumnInfo(bufferType, columnIndex, info);
}

// The functions of a column, chosen from its input column, which holds the
// stored values. The output column must mirror it: the same data type and a
// value slot at least as large, so that every copy fits. A key's comparison
// is tried once here, since one that failed per row would find all values
// equal.
HRESULT ChooseColumnFunctions(const BufferColumnInfo& input, SortColumn* column) {
  const auto dataType = static_cast<int32_t>(input.DataType);
  HRESULT hr =
      SelectColumnFunctions(dataType, column->ComparisonFlags, &column->Compare, &column->Copy);
  if (FAILED(hr)) return hr;
  const BufferColumnInfo& output = column->OutputColumn;
  if (output.DataType != input.DataType || output.MaxLength < input.MaxLength) {
    return TOLVARINE_E_COLUMNMISMATCH;
  }
  if (column->SortKeyPosition == 0) return S_OK;
  return CheckComparisonFlags(column->Compare, column->ComparisonFlags);
}

// The description of output column `index` and of the input column that it
// mirrors.
HRESULT DescribeColumn(const MetadataSources& sources, int32_t index, SortColumn* column) {
  ComPtr<IDTSOutputColumn90> outputColumn;
  HRESULT hr = sources.outputColumns->get_Item(PositionIndex(index), outputColumn.Put());
  if (FAILED(hr)) return hr;
  int32_t outputLineageID = 0;
  hr = outputColumn->get_LineageID(&outputLineageID);
  if (FAILED(hr)) return hr;
  hr = DescribeBufferColumn(sources.bufferManager, sources.outputBufferType, outputLineageID,
                            &column->OutputColumn);
  if (FAILED(hr)) return hr;
  hr = outputColumn->get_SortKeyPosition(&column->SortKeyPosition);
  if (FAILED(hr)) return hr;

  ComPtr<IDTSCustomPropertyCollection90> outputProperties;
  hr = outputColumn->get_CustomPropertyCollection(outputProperties.Put());
  if (FAILED(hr)) return hr;
  int32_t inputLineageID = 0;
  hr = ReadIntegerProperty(outputProperties.Get(), sources.sortColumnIdName.Get(), &inputLineageID);
  if (FAILED(hr)) return hr;

  BufferColumnInfo inputInfo;
  hr = DescribeBufferColumn(sources.bufferManager, sources.inputBufferType, inputLineageID,
                            &inputInfo);
  if (FAILED(hr)) return hr;
  column->InputDataOffset = inputInfo.DataOffset;
  column->InputLengthOffset = inputInfo.LengthOffset;
  column->InputStatusOffset = inputInfo.StatusOffset;
  column->InputMaxLength = inputInfo.MaxLength;

  ComPtr<IDTSInputColumn90> inputColumn;
  hr = sources.inputColumns->GetInputColumnByLineageID(inputLineageID, inputColumn.Put());
  if (FAILED(hr)) return hr;
  ComPtr<IDTSCustomPropertyCollection90> inputProperties;
  hr = inputColumn->get_CustomPropertyCollection(inputProperties.Put());
  if (FAILED(hr)) return hr;
  int32_t flags = 0;
  hr = ReadIntegerProperty(inputProperties.Get(), sources.comparisonFlagsName.Get(), &flags);
  if (FAILED(hr)) return hr;
  column->ComparisonFlags = static_cast<uint32_t>(flags);
  return ChooseColumnFunctions(inputInfo, column);
}

HRESULT BuildFromMetadata(IDTSComponentMetaData90* metadata, MetadataSources* sources,
                          std::vector<SortColumn>* columns, std::vector<SortColumn>* keys) {
  ComPtr<IDTSInputCollection90> inputs;
  HRESULT hr = metadata->get_InputCollection(inputs.Put());
  if (FAILED(hr)) return hr;
  ComPtr<IDTSOutputCollection90> outputs;
  hr = metadata->get_OutputCollection(outputs.Put());
  if (FAILED(hr)) return hr;
  ComPtr<IDTSInput90> input;
  hr = inputs->get_Item(PositionIndex(0), input.Put());
  if (FAILED(hr)) return hr;
  ComPtr<IDTSOutput90> output;
  hr = outputs->get_Item(PositionIndex(0), output.Put());
  if (FAILED(hr)) return hr;

  hr = input->get_InputColumnCollection(sources->inputColumns.Put());
  if (FAILED(hr)) return hr;
  hr = output->get_OutputColumnCollection(sources->outputColumns.Put());
  if (FAILED(hr)) return hr;
  int32_t inputCount = 0;
  hr = sources->inputColumns->get_Count(&inputCount);
  if (FAILED(hr)) return hr;
  int32_t outputCount = 0;
  hr = sources->outputColumns->get_Count(&outputCount);
  if (FAILED(hr)) return hr;
  if (inputCount != outputCount || outputCount < 0) return E_UNEXPECTED;

  columns->reserve(columns->size() + static_cast<size_t>(outputCount));
  keys->reserve(keys->size() + static_cast<size_t>(outputCount));

  hr = input->get_Buffer(&sources->inputBufferType);
  if (FAILED(hr)) return hr;
  hr = output->get_Buffer(&sources->outputBufferType);
  if (FAILED(hr)) return hr;

  for (int32_t i = 0; i < outputCount; ++i) {
    SortColumn column{};
    hr = DescribeColumn(*sources, i, &column);
    if (FAILED(hr)) return hr;
    columns->push_back(column);
    if (column.SortKeyPosition != 0) keys->push_back(column);
  }
  OrderSortKeys(keys);
  return S_OK;
}

}  // namespace

HRESULT BuildSortColumns(IDTSComponentMetaData90* metadata, IDTSBufferManager90* bufferManager,
                         std::vector<SortColumn>* columns, std::vector<SortColumn>* keys) {
  if (!metadata || !bufferManager || !columns || !keys) return E_POINTER;
  MetadataSources sources{plat::Bstr(kSortColumnIdProperty),
                          plat::Bstr(kNewComparisonFlagsProperty),
                          {},
                          {},
                          bufferManager,
                          0,
                          0};
  if (!sources.sortColumnIdName.Get() || !sources.comparisonFlagsName.Get()) return E_OUTOFMEMORY;
  return plat::NoThrow([&] { return BuildFromMetadata(metadata, &sources, columns, keys); });
}
