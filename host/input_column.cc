#include "host/input_column.h"

#include <utility>

#include "host/virtual_input.h"

namespace host {

InputColumn::InputColumn(int32_t id, int32_t lineageID, const ColumnSpec& attributes,
                         int32_t usageType, IdSourcePtr ids)
    : state_(id, lineageID, attributes, std::move(ids)), usageType_(usageType) {}

ComPtr<InputColumn> InputColumn::CreateNew(const IdSourcePtr& ids) {
  int32_t id = ids->Next();
  ColumnSpec attributes;
  attributes.dataType = DT_EMPTY;
  ComPtr<InputColumn> column =
      MakeObject<InputColumn>(id, ids->Next(), attributes, UT_READONLY, ids);
  return column && column->Properties() ? column : ComPtr<InputColumn>();
}

ComPtr<InputColumn> InputColumn::CreateMirror(const UpstreamColumn& upstream, int32_t usageType,
                                              const IdSourcePtr& ids) {
  ComPtr<InputColumn> column =
      MakeObject<InputColumn>(ids->Next(), upstream.lineageID, upstream.spec, usageType, ids);
  return column && column->Properties() ? column : ComPtr<InputColumn>();
}

HRESULT STDMETHODCALLTYPE InputColumn::get_ID(int32_t* id) {
  if (id == nullptr) return E_POINTER;
  *id = state_.Id();
  return S_OK;
}
HRESULT STDMETHODCALLTYPE InputColumn::get_LineageID(int32_t* lineageID) {
  if (lineageID == nullptr) return E_POINTER;
  *lineageID = state_.LineageID();
  return S_OK;
}
HRESULT STDMETHODCALLTYPE InputColumn::get_Name(BSTR* name) {
  return state_.GetText(&ColumnSpec::name, name);
}
HRESULT STDMETHODCALLTYPE InputColumn::get_Description(BSTR* description) {
  return state_.GetText(&ColumnSpec::description, description);
}
HRESULT STDMETHODCALLTYPE InputColumn::get_DataType(int32_t* dataType) {
  return state_.GetInt(&ColumnSpec::dataType, dataType);
}
HRESULT STDMETHODCALLTYPE InputColumn::get_Length(int32_t* length) {
  return state_.GetInt(&ColumnSpec::length, length);
}
HRESULT STDMETHODCALLTYPE InputColumn::get_Precision(int32_t* precision) {
  return state_.GetInt(&ColumnSpec::precision, precision);
}
HRESULT STDMETHODCALLTYPE InputColumn::get_Scale(int32_t* scale) {
  return state_.GetInt(&ColumnSpec::scale, scale);
}
HRESULT STDMETHODCALLTYPE InputColumn::get_CodePage(int32_t* codePage) {
  return state_.GetInt(&ColumnSpec::codePage, codePage);
}
HRESULT STDMETHODCALLTYPE InputColumn::get_SortKeyPosition(int32_t* position) {
  return state_.GetInt(&ColumnSpec::sortKeyPosition, position);
}
HRESULT STDMETHODCALLTYPE InputColumn::get_ComparisonFlags(int32_t* flags) {
  return state_.GetInt(&ColumnSpec::comparisonFlags, flags);
}
HRESULT STDMETHODCALLTYPE InputColumn::get_UsageType(int32_t* usage) {
  if (usage == nullptr) return E_POINTER;
  *usage = UsageType();
  return S_OK;
}
HRESULT STDMETHODCALLTYPE InputColumn::get_CustomPropertyCollection(IDTSCustomPropertyCollection90** properties) {
  return state_.GetProperties(properties);
}

HRESULT STDMETHODCALLTYPE InputColumnCollection::GetInputColumnByLineageID(int32_t lineageID,
                                                         IDTSInputColumn90** column) {
  if (column == nullptr) return E_POINTER;
  *column = nullptr;
  ComPtr<InputColumn> found = FindByLineageID(lineageID);
  if (!found) return DTS_E_ELEMENTNOTFOUND;
  return HandOut(found, column);
}

ComPtr<InputColumn> InputColumnCollection::FindByLineageID(int32_t lineageID) const {
  return FindIf([lineageID](const InputColumn& c) { return c.LineageID() == lineageID; });
}

ComPtr<InputColumn> InputColumnCollection::Select(const UpstreamColumn& upstream,
                                                  int32_t usageType) {
  // Find and add under one lock, so two selections of one column make one.
  std::lock_guard lock(mutex_);
  for (const ComPtr<InputColumn>& column : items_) {
    if (column->LineageID() == upstream.lineageID) {
      column->SetAttributes(upstream.spec);
      column->SetUsageType(usageType);
      return column;
    }
  }
  ComPtr<InputColumn> column = InputColumn::CreateMirror(upstream, usageType, Ids());
  if (column) items_.push_back(column);
  return column;
}

bool InputColumnCollection::Deselect(int32_t lineageID) {
  ComPtr<InputColumn> found = FindByLineageID(lineageID);
  return found && Remove(found->Id());
}

}  // namespace host
