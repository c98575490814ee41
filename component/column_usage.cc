// Column selection and the sort settings of selected columns.
//
// Each selected input column has a mirrored output column: same name,
// description and data type, tied to it by the output column's custom
// property SortColumnId (the input column's lineage ID). The input column
// carries NewSortKeyPosition and NewComparisonFlags, which pre-execution
// reads to build the sort key. Invariants kept here:
//  - a selected input column has exactly one mirrored output column, and a
//    deselected one has none, so input and output have as many columns;
//  - the mirrored column's sort key position equals NewSortKeyPosition, and
//    its comparison flags equal NewComparisonFlags without the component's
//    own ordinal bits (0x30), which mean nothing to the host.
#include "component/custom_properties.h"
#include "component/string_table.h"
#include "component/tolvarine.h"
#include "interfaces/property_names.h"

namespace {

// Bits 16 and 32 of NewComparisonFlags select ordinal comparison.
constexpr int32_t kOrdinalComparisonBits = 0x30;

// The mirrored output column of `lineageID`: the first column, in collection
// order, whose SortColumnId is a VT_I4 equal to it; null (with success) when
// there is none. A column without SortColumnId fails the search with the
// host's code rather than being skipped.
HRESULT FindMirroredOutputColumn(IDTSOutputColumnCollection90* columns, int32_t lineageID,
                                 IDTSOutputColumn90** found) {
  *found = nullptr;
  int32_t count = 0;
  HRESULT hr = columns->get_Count(&count);
  if (FAILED(hr)) return hr;
  // One name for every column's lookup: the search runs once per selection
  // over every output column.
  plat::Variant name = plat::Variant::Str(SysAllocString(kSortColumnIdProperty));
  if (!name.Get().bstrVal) return E_OUTOFMEMORY;
  for (int32_t i = 0; i < count; ++i) {
    ComPtr<IDTSOutputColumn90> column;
    hr = GetItemAt(columns, i, column.Put());
    if (FAILED(hr)) return hr;
    ComPtr<IDTSCustomPropertyCollection90> properties;
    hr = column->get_CustomPropertyCollection(properties.Put());
    if (FAILED(hr)) return hr;
    ComPtr<IDTSCustomProperty90> property;
    hr = properties->get_Item(name.Get(), property.Put());
    if (FAILED(hr)) return hr;
    plat::Variant value;
    hr = property->get_Value(value.Put());
    if (FAILED(hr)) return hr;
    if (value.Get().vt == VT_I4 && value.Get().lVal == lineageID) {
      *found = column.Detach();
      return S_OK;
    }
  }
  return S_OK;
}

// Sets the VT_I4 custom property `name`, creating it (with the description
// `descriptionId`) when the column lacks it. An existing property keeps its
// description.
HRESULT SetColumnCustomProperty(IDTSCustomPropertyCollection90* properties, const char16_t* name,
                                uint32_t descriptionId, int32_t value) {
  ComPtr<IDTSCustomProperty90> property;
  HRESULT hr = GetCustomPropertyByName(properties, name, property.Put());
  if (hr == DTS_E_ELEMENTNOTFOUND) {
    hr = properties->New(property.Put());
    if (FAILED(hr)) return hr;
    plat::Bstr propertyName(name);
    if (!propertyName.Get()) return E_OUTOFMEMORY;
    hr = property->put_Name(propertyName.Get());
    if (FAILED(hr)) return hr;
    plat::Bstr description;
    *description.Put() = LoadComponentString(descriptionId);
    hr = property->put_Description(description.Get());
  }
  if (FAILED(hr)) return hr;
  return property->put_Value(plat::Variant::I4(value).Get());
}

// The column collection of the input with the given ID.
HRESULT GetInputColumns(IDTSComponentMetaData90* metadata, int32_t inputID,
                        IDTSInputColumnCollection90** columns) {
  ComPtr<IDTSInputCollection90> inputs;
  HRESULT hr = metadata->get_InputCollection(inputs.Put());
  if (FAILED(hr)) return hr;
  ComPtr<IDTSInput90> input;
  hr = inputs->GetObjectByID(inputID, input.Put());
  if (FAILED(hr)) return hr;
  return input->get_InputColumnCollection(columns);
}

// The output column collection of the first output: the one output of the
// component.
HRESULT GetOutputColumns(IDTSComponentMetaData90* metadata,
                         IDTSOutputColumnCollection90** columns) {
  ComPtr<IDTSOutputCollection90> outputs;
  HRESULT hr = metadata->get_OutputCollection(outputs.Put());
  if (FAILED(hr)) return hr;
  ComPtr<IDTSOutput90> output;
  hr = GetItemAt(outputs.Get(), 0, output.Put());
  if (FAILED(hr)) return hr;
  return output->get_OutputColumnCollection(columns);
}

// Copies the input column's name, description and data type properties,
// its comparison flags and its sort key position to the output column.
HRESULT MirrorInputColumn(IDTSInputColumn90* input, IDTSOutputColumn90* output, int32_t flags,
                          int32_t position) {
  plat::Bstr name, description;
  int32_t codePage = 0, dataType = 0, length = 0, precision = 0, scale = 0;
  HRESULT hr = input->get_Name(name.Put());
  if (SUCCEEDED(hr)) hr = input->get_Description(description.Put());
  if (SUCCEEDED(hr)) hr = input->get_CodePage(&codePage);
  if (SUCCEEDED(hr)) hr = input->get_DataType(&dataType);
  if (SUCCEEDED(hr)) hr = input->get_Length(&length);
  if (SUCCEEDED(hr)) hr = input->get_Precision(&precision);
  if (SUCCEEDED(hr)) hr = input->get_Scale(&scale);
  if (SUCCEEDED(hr)) hr = output->put_Name(name.Get());
  if (SUCCEEDED(hr)) hr = output->put_Description(description.Get());
  if (SUCCEEDED(hr)) {
    hr = output->SetDataTypeProperties(dataType, length, precision, scale, codePage);
  }
  if (SUCCEEDED(hr)) hr = output->put_ComparisonFlags(flags);
  if (SUCCEEDED(hr)) hr = output->put_SortKeyPosition(position);
  return hr;
}

}  // namespace

HRESULT STDMETHODCALLTYPE CTolvarine::SetUsageType(int32_t inputID, IDTSVirtualInput90* virtualInput,
                                 int32_t lineageID, int32_t usageType,
                                 IDTSInputColumn90** inputColumn) {
  // Only a selection hands back a column; every other path leaves none.
  if (inputColumn) *inputColumn = nullptr;
  if (!ComponentMetaData) return E_UNEXPECTED;
  if (!virtualInput) return E_POINTER;
  ComPtr<IDTSInputColumnCollection90> inputColumns;
  HRESULT hr = GetInputColumns(ComponentMetaData.Get(), inputID, inputColumns.Put());
  if (FAILED(hr)) return hr;
  bool selectedBefore = true;
  {
    ComPtr<IDTSInputColumn90> previous;
    hr = inputColumns->GetInputColumnByLineageID(lineageID, previous.Put());
    if (hr == DTS_E_ELEMENTNOTFOUND) selectedBefore = false;
  }
  int32_t virtualIndex = -1;
  hr = virtualInput->SetUsageType(lineageID, usageType, &virtualIndex);
  if (FAILED(hr)) return hr;

  ComPtr<IDTSOutputColumnCollection90> outputColumns;
  hr = GetOutputColumns(ComponentMetaData.Get(), outputColumns.Put());
  if (FAILED(hr)) return hr;

  if (virtualIndex < 0) {
    // Deselected: the mirrored output column goes with it.
    ComPtr<IDTSOutputColumn90> mirrored;
    hr = FindMirroredOutputColumn(outputColumns.Get(), lineageID, mirrored.Put());
    if (FAILED(hr)) return hr;
    if (!mirrored) return S_OK;
    int32_t id = 0;
    hr = mirrored->get_ID(&id);
    if (FAILED(hr)) return hr;
    hr = outputColumns->RemoveObjectByID(id);
    return FAILED(hr) ? hr : S_OK;
  }

  // Selected, or selected again: find the input column the host made.
  ComPtr<IDTSVirtualInputColumnCollection90> virtualColumns;
  hr = virtualInput->get_VirtualInputColumnCollection(virtualColumns.Put());
  if (FAILED(hr)) return hr;
  ComPtr<IDTSVirtualInputColumn90> virtualColumn;
  hr = GetItemAt(virtualColumns.Get(), virtualIndex, virtualColumn.Put());
  if (FAILED(hr)) return hr;
  int32_t selectedLineageID = 0;
  hr = virtualColumn->get_LineageID(&selectedLineageID);
  if (FAILED(hr)) return hr;
  ComPtr<IDTSInputColumn90> column;
  hr = inputColumns->GetInputColumnByLineageID(selectedLineageID, column.Put());
  if (FAILED(hr)) return hr;

  // The sort settings start from the column's own, overwriting what the
  // user set before.
  int32_t flags = 0, sortKeyPosition = 0;
  hr = column->get_ComparisonFlags(&flags);
  if (FAILED(hr)) return hr;
  hr = column->get_SortKeyPosition(&sortKeyPosition);
  if (FAILED(hr)) return hr;
  ComPtr<IDTSCustomPropertyCollection90> inputProperties;
  hr = column->get_CustomPropertyCollection(inputProperties.Put());
  if (FAILED(hr)) return hr;
  hr = SetColumnCustomProperty(inputProperties.Get(), kNewComparisonFlagsProperty,
                               IDS_NEW_COMPARISON_FLAGS, flags);
  if (FAILED(hr)) return hr;
  hr = SetColumnCustomProperty(inputProperties.Get(), kNewSortKeyPositionProperty,
                               IDS_NEW_SORT_KEY_POSITION, sortKeyPosition);
  if (FAILED(hr)) return hr;

  // A column selected for the first time has no mirrored output column (the
  // invariant above), so only a column selected again is searched for: a
  // search over every output column at each selection would make selecting n
  // columns take n * n steps.
  ComPtr<IDTSOutputColumn90> mirrored;
  if (selectedBefore) {
    hr = FindMirroredOutputColumn(outputColumns.Get(), lineageID, mirrored.Put());
    if (FAILED(hr)) return hr;
  }
  if (!mirrored) {
    hr = outputColumns->New(mirrored.Put());
    if (FAILED(hr)) return hr;
  }
  hr = MirrorInputColumn(column.Get(), mirrored.Get(), flags, sortKeyPosition);
  if (FAILED(hr)) return hr;
  ComPtr<IDTSCustomPropertyCollection90> outputProperties;
  hr = mirrored->get_CustomPropertyCollection(outputProperties.Put());
  if (FAILED(hr)) return hr;
  hr = SetColumnCustomProperty(outputProperties.Get(), kSortColumnIdProperty, IDS_SORT_COLUMN_ID,
                               lineageID);
  if (FAILED(hr)) return hr;

  // The selection stands even when the caller gave no place for its result.
  if (!inputColumn) return E_POINTER;
  *inputColumn = column.Detach();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CTolvarine::SetInputColumnProperty(int32_t inputID, int32_t inputColumnID, BSTR name,
                                           VARIANT value, IDTSCustomProperty90** property) {
  // The property is not handed back.
  if (property) *property = nullptr;
  if (!ComponentMetaData) return E_UNEXPECTED;
  ComPtr<IDTSInputColumnCollection90> inputColumns;
  HRESULT hr = GetInputColumns(ComponentMetaData.Get(), inputID, inputColumns.Put());
  if (FAILED(hr)) return hr;
  ComPtr<IDTSInputColumn90> column;
  hr = inputColumns->GetObjectByID(inputColumnID, column.Put());
  if (FAILED(hr)) return hr;
  int32_t lineageID = 0;
  hr = column->get_LineageID(&lineageID);
  if (FAILED(hr)) return hr;
  ComPtr<IDTSOutputColumnCollection90> outputColumns;
  hr = GetOutputColumns(ComponentMetaData.Get(), outputColumns.Put());
  if (FAILED(hr)) return hr;

  const std::u16string_view propertyName = plat::BstrView(name);
  const bool isFlags = propertyName == kNewComparisonFlagsProperty;
  if (!isFlags && propertyName != kNewSortKeyPositionProperty) return E_NOTIMPL;
  if (value.vt != VT_I4) return E_INVALIDARG;
  ComPtr<IDTSOutputColumn90> mirrored;
  hr = FindMirroredOutputColumn(outputColumns.Get(), lineageID, mirrored.Put());
  if (FAILED(hr)) return hr;
  // A column that was never selected through this component has no
  // mirrored output column; nothing is changed for it.
  if (!mirrored) return DTS_E_ELEMENTNOTFOUND;
  hr = isFlags ? mirrored->put_ComparisonFlags(value.lVal & ~kOrdinalComparisonBits)
               : mirrored->put_SortKeyPosition(value.lVal);
  if (FAILED(hr)) return hr;

  // The input column keeps the full value, ordinal bits included.
  ComPtr<IDTSCustomPropertyCollection90> inputProperties;
  hr = column->get_CustomPropertyCollection(inputProperties.Put());
  if (FAILED(hr)) return hr;
  ComPtr<IDTSCustomProperty90> inputProperty;
  hr = GetCustomPropertyByName(inputProperties.Get(),
                               isFlags ? kNewComparisonFlagsProperty : kNewSortKeyPositionProperty,
                               inputProperty.Put());
  if (FAILED(hr)) return hr;
  hr = inputProperty->put_Value(value);
  return FAILED(hr) ? hr : S_OK;
}

HRESULT STDMETHODCALLTYPE CTolvarine::SetComponentProperty(BSTR name, VARIANT value, IDTSCustomProperty90** result) {
  // The property is not handed back.
  if (result) *result = nullptr;
  if (!ComponentMetaData) return E_UNEXPECTED;
  ComPtr<IDTSCustomPropertyCollection90> properties;
  HRESULT hr = ComponentMetaData->get_CustomPropertyCollection(properties.Put());
  if (FAILED(hr)) return hr;
  // The caller's name is the index as it is; types are checked at run time.
  VARIANT index;
  VariantInit(&index);
  index.vt = VT_BSTR;
  index.bstrVal = name;
  ComPtr<IDTSCustomProperty90> property;
  hr = properties->get_Item(index, property.Put());
  if (FAILED(hr)) return hr;
  hr = property->put_Value(value);
  return FAILED(hr) ? hr : S_OK;
}
