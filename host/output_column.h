// Output columns and their collection. A new output column has a fresh ID,
// a fresh lineage ID (never equal to its ID) and data type DT_EMPTY until
// SetDataTypeProperties gives it one.
#pragma once

#include <cstdint>

#include "host/collection.h"
#include "host/column_state.h"

namespace host {

class OutputColumn : public ComObject<IDTSOutputColumn90> {
 public:
  OutputColumn(int32_t id, int32_t lineageID, const ColumnSpec& attributes, IdSourcePtr ids);
  static ComPtr<OutputColumn> CreateNew(const IdSourcePtr& ids);

  HRESULT STDMETHODCALLTYPE get_ID(int32_t* id) override;
  HRESULT STDMETHODCALLTYPE get_LineageID(int32_t* lineageID) override;
  HRESULT STDMETHODCALLTYPE get_Name(BSTR* name) override;
  HRESULT STDMETHODCALLTYPE put_Name(BSTR name) override;
  HRESULT STDMETHODCALLTYPE get_Description(BSTR* description) override;
  HRESULT STDMETHODCALLTYPE put_Description(BSTR description) override;
  HRESULT STDMETHODCALLTYPE get_SortKeyPosition(int32_t* position) override;
  HRESULT STDMETHODCALLTYPE put_SortKeyPosition(int32_t position) override;
  HRESULT STDMETHODCALLTYPE get_ComparisonFlags(int32_t* flags) override;
  HRESULT STDMETHODCALLTYPE put_ComparisonFlags(int32_t flags) override;
  HRESULT STDMETHODCALLTYPE get_DataType(int32_t* dataType) override;
  HRESULT STDMETHODCALLTYPE get_Length(int32_t* length) override;
  HRESULT STDMETHODCALLTYPE get_Precision(int32_t* precision) override;
  HRESULT STDMETHODCALLTYPE get_Scale(int32_t* scale) override;
  HRESULT STDMETHODCALLTYPE get_CodePage(int32_t* codePage) override;
  // E_INVALIDARG (nothing changed) when CheckDataTypeProperties refuses the
  // combination.
  HRESULT STDMETHODCALLTYPE SetDataTypeProperties(int32_t dataType, int32_t length, int32_t precision, int32_t scale,
                                int32_t codePage) override;
  HRESULT STDMETHODCALLTYPE get_CustomPropertyCollection(IDTSCustomPropertyCollection90** properties) override;

  int32_t Id() const { return state_.Id(); }
  int32_t LineageID() const { return state_.LineageID(); }
  std::u16string Name() const { return state_.Name(); }
  ColumnSpec Attributes() const { return state_.Attributes(); }
  void SetAttributes(const ColumnSpec& attributes) { state_.SetAttributes(attributes); }
  CustomPropertyCollection* Properties() const { return state_.Properties(); }

 private:
  ColumnState state_;
};

using OutputColumnCollection =
    Collection<IDTSOutputColumnCollection90, IDTSOutputColumn90, OutputColumn>;

}  // namespace host
