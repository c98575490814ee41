#include "host/virtual_input.h"

#include <utility>

namespace host {

int32_t UpstreamOutput::FindLineageID(int32_t lineageID) const {
  for (size_t i = 0; i < columns.size(); ++i) {
    if (columns[i].lineageID == lineageID) return static_cast<int32_t>(i);
  }
  return -1;
}

VirtualInputColumn::VirtualInputColumn(const UpstreamColumn& upstream,
                                       ComPtr<InputColumnCollection> inputColumns)
    : upstream_(upstream), inputColumns_(std::move(inputColumns)) {}

HRESULT STDMETHODCALLTYPE VirtualInputColumn::get_LineageID(int32_t* lineageID) {
  if (lineageID == nullptr) return E_POINTER;
  *lineageID = upstream_.lineageID;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE VirtualInputColumn::get_Name(BSTR* name) {
  return NoThrow([&] { return CopyToBstr(upstream_.spec.name, name); });
}

HRESULT STDMETHODCALLTYPE VirtualInputColumn::get_DataType(int32_t* dataType) {
  if (dataType == nullptr) return E_POINTER;
  *dataType = upstream_.spec.dataType;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE VirtualInputColumn::get_UsageType(int32_t* usage) {
  if (usage == nullptr) return E_POINTER;
  ComPtr<InputColumn> selected = inputColumns_->FindByLineageID(upstream_.lineageID);
  *usage = selected ? selected->UsageType() : UT_IGNORED;
  return S_OK;
}

VirtualInput::VirtualInput(UpstreamPtr upstream, ComPtr<InputColumnCollection> inputColumns,
                           IdSourcePtr ids)
    : upstream_(std::move(upstream)),
      inputColumns_(std::move(inputColumns)),
      ids_(std::move(ids)) {}

HRESULT STDMETHODCALLTYPE VirtualInput::SetUsageType(int32_t lineageID, int32_t usageType, int32_t* index) {
  if (index == nullptr) return E_POINTER;
  int32_t position = upstream_ ? upstream_->FindLineageID(lineageID) : -1;
  if (position < 0) return DTS_E_ELEMENTNOTFOUND;
  switch (usageType) {
    case UT_IGNORED:
      inputColumns_->Deselect(lineageID);
      *index = -1;
      return S_OK;
    case UT_READONLY:
    case UT_READWRITE:
      return NoThrow([&]() -> HRESULT {
        if (!inputColumns_->Select(upstream_->columns[position], usageType)) return E_OUTOFMEMORY;
        *index = position;
        return S_OK;
      });
    default:
      return E_INVALIDARG;
  }
}

ComPtr<VirtualInputColumnCollection> VirtualInput::Columns() {
  std::lock_guard lock(mutex_);
  if (columns_) return columns_;
  ComPtr<VirtualInputColumnCollection> collection = MakeObject<VirtualInputColumnCollection>(ids_);
  if (!collection) return collection;
  if (upstream_) {
    for (const UpstreamColumn& upstream : upstream_->columns) {
      ComPtr<VirtualInputColumn> column = MakeObject<VirtualInputColumn>(upstream, inputColumns_);
      if (!column) return ComPtr<VirtualInputColumnCollection>();
      collection->Append(column);
    }
  }
  columns_ = collection;
  return collection;
}

HRESULT STDMETHODCALLTYPE VirtualInput::get_VirtualInputColumnCollection(
    IDTSVirtualInputColumnCollection90** columns) {
  if (columns == nullptr) return E_POINTER;
  *columns = nullptr;
  return NoThrow([&]() -> HRESULT {
    ComPtr<VirtualInputColumnCollection> collection = Columns();
    if (!collection) return E_OUTOFMEMORY;
    return HandOut(collection, columns);
  });
}

}  // namespace host
