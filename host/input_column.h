// Input columns and their collection. An input column mirrors one upstream
// column (same lineage ID, name, data type properties, sort key position
// and comparison flags) and is made by the virtual input when that column is
// selected; it has an ID of its own and its own custom properties.
#pragma once

#include <atomic>
#include <cstdint>

#include "host/collection.h"
#include "host/column_state.h"

namespace host {

struct UpstreamColumn;

class InputColumn : public ComObject<IDTSInputColumn90> {
 public:
  InputColumn(int32_t id, int32_t lineageID, const ColumnSpec& attributes, int32_t usageType,
              IdSourcePtr ids);
  // A column not tied to any upstream column: fresh ID and lineage ID.
  static ComPtr<InputColumn> CreateNew(const IdSourcePtr& ids);
  // The input column that selects `upstream` with `usageType`.
  static ComPtr<InputColumn> CreateMirror(const UpstreamColumn& upstream, int32_t usageType,
                                          const IdSourcePtr& ids);

  HRESULT STDMETHODCALLTYPE get_ID(int32_t* id) override;
  HRESULT STDMETHODCALLTYPE get_LineageID(int32_t* lineageID) override;
  HRESULT STDMETHODCALLTYPE get_Name(BSTR* name) override;
  HRESULT STDMETHODCALLTYPE get_Description(BSTR* description) override;
  HRESULT STDMETHODCALLTYPE get_DataType(int32_t* dataType) override;
  HRESULT STDMETHODCALLTYPE get_Length(int32_t* length) override;
  HRESULT STDMETHODCALLTYPE get_Precision(int32_t* precision) override;
  HRESULT STDMETHODCALLTYPE get_Scale(int32_t* scale) override;
  HRESULT STDMETHODCALLTYPE get_CodePage(int32_t* codePage) override;
  HRESULT STDMETHODCALLTYPE get_SortKeyPosition(int32_t* position) override;
  HRESULT STDMETHODCALLTYPE get_ComparisonFlags(int32_t* flags) override;
  HRESULT STDMETHODCALLTYPE get_UsageType(int32_t* usage) override;
  HRESULT STDMETHODCALLTYPE get_CustomPropertyCollection(IDTSCustomPropertyCollection90** properties) override;

  int32_t Id() const { return state_.Id(); }
  int32_t LineageID() const { return state_.LineageID(); }
  std::u16string Name() const { return state_.Name(); }
  ColumnSpec Attributes() const { return state_.Attributes(); }
  void SetAttributes(const ColumnSpec& attributes) { state_.SetAttributes(attributes); }
  int32_t UsageType() const { return usageType_.load(std::memory_order_acquire); }
  void SetUsageType(int32_t usage) { usageType_.store(usage, std::memory_order_release); }
  CustomPropertyCollection* Properties() const { return state_.Properties(); }

 private:
  ColumnState state_;
  std::atomic<int32_t> usageType_;
};

class InputColumnCollection
    : public Collection<IDTSInputColumnCollection90, IDTSInputColumn90, InputColumn> {
 public:
  using Collection::Collection;

  HRESULT STDMETHODCALLTYPE GetInputColumnByLineageID(int32_t lineageID, IDTSInputColumn90** column) override;

  ComPtr<InputColumn> FindByLineageID(int32_t lineageID) const;
  // Adds the input column mirroring `upstream`, or refreshes the one that
  // already mirrors it (keeping its ID and custom properties) with the
  // upstream attributes and `usageType`. Null when memory runs out.
  ComPtr<InputColumn> Select(const UpstreamColumn& upstream, int32_t usageType);
  // Removes the input column of that lineage ID; false when there was none.
  bool Deselect(int32_t lineageID);
};

}  // namespace host
