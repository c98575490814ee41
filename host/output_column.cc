#include "host/output_column.h"

#include <utility>

namespace host {

OutputColumn::OutputColumn(int32_t id, int32_t lineageID, const ColumnSpec& attributes,
                           IdSourcePtr ids)
    : state_(id, lineageID, attributes, std::move(ids)) {}

ComPtr<OutputColumn> OutputColumn::CreateNew(const IdSourcePtr& ids) {
  int32_t id = ids->Next();
  ColumnSpec attributes;
  attributes.dataType = DT_EMPTY;
  ComPtr<OutputColumn> column = MakeObject<OutputColumn>(id, ids->Next(), attributes, ids);
  return column && column->Properties() ? column : ComPtr<OutputColumn>();
}

HRESULT STDMETHODCALLTYPE OutputColumn::get_ID(int32_t* id) {
  if (id == nullptr) return E_POINTER;
  *id = state_.Id();
  return S_OK;
}
HRESULT STDMETHODCALLTYPE OutputColumn::get_LineageID(int32_t* lineageID) {
  if (lineageID == nullptr) return E_POINTER;
  *lineageID = state_.LineageID();
  return S_OK;
}
HRESULT STDMETHODCALLTYPE OutputColumn::get_Name(BSTR* name) {
  return state_.GetText(&ColumnSpec::name, name);
}
HRESULT STDMETHODCALLTYPE OutputColumn::put_Name(BSTR name) {
  return state_.PutText(&ColumnSpec::name, name);
}
HRESULT STDMETHODCALLTYPE OutputColumn::get_Description(BSTR* description) {
  return state_.GetText(&ColumnSpec::description, description);
}
HRESULT STDMETHODCALLTYPE OutputColumn::put_Description(BSTR description) {
  return state_.PutText(&ColumnSpec::description, description);
}
HRESULT STDMETHODCALLTYPE OutputColumn::get_SortKeyPosition(int32_t* position) {
  return state_.GetInt(&ColumnSpec::sortKeyPosition, position);
}
HRESULT STDMETHODCALLTYPE OutputColumn::put_SortKeyPosition(int32_t position) {
  return state_.PutInt(&ColumnSpec::sortKeyPosition, position);
}
HRESULT STDMETHODCALLTYPE OutputColumn::get_ComparisonFlags(int32_t* flags) {
  return state_.GetInt(&ColumnSpec::comparisonFlags, flags);
}
HRESULT STDMETHODCALLTYPE OutputColumn::put_ComparisonFlags(int32_t flags) {
  return state_.PutInt(&ColumnSpec::comparisonFlags, flags);
}
HRESULT STDMETHODCALLTYPE OutputColumn::get_DataType(int32_t* dataType) {
  return state_.GetInt(&ColumnSpec::dataType, dataType);
}
HRESULT STDMETHODCALLTYPE OutputColumn::get_Length(int32_t* length) {
  return state_.GetInt(&ColumnSpec::length, length);
}
HRESULT STDMETHODCALLTYPE OutputColumn::get_Precision(int32_t* precision) {
  return state_.GetInt(&ColumnSpec::precision, precision);
}
HRESULT STDMETHODCALLTYPE OutputColumn::get_Scale(int32_t* scale) {
  return state_.GetInt(&ColumnSpec::scale, scale);
}
HRESULT STDMETHODCALLTYPE OutputColumn::get_CodePage(int32_t* codePage) {
  return state_.GetInt(&ColumnSpec::codePage, codePage);
}

HRESULT STDMETHODCALLTYPE OutputColumn::SetDataTypeProperties(int32_t dataType, int32_t length, int32_t precision,
                                            int32_t scale, int32_t codePage) {
  HRESULT hr = CheckDataTypeProperties(dataType, length, precision, scale);
  if (FAILED(hr)) return hr;
  state_.Update([&](ColumnSpec& attributes) {
    attributes.dataType = dataType;
    attributes.length = length;
    attributes.precision = precision;
    attributes.scale = scale;
    attributes.codePage = codePage;
  });
  return S_OK;
}

HRESULT STDMETHODCALLTYPE OutputColumn::get_CustomPropertyCollection(IDTSCustomPropertyCollection90** properties) {
  return state_.GetProperties(properties);
}

}  // namespace host
