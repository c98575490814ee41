// What input and output columns have in common: ID, lineage ID, the
// attributes of a ColumnSpec and a custom property collection, behind one
// lock. The column classes forward their interface getters here.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "host/column_spec.h"
#include "host/custom_property.h"

namespace host {

class ColumnState {
 public:
  // Null `properties` only when memory ran out (see ok()).
  ColumnState(int32_t id, int32_t lineageID, ColumnSpec attributes, IdSourcePtr ids);

  bool ok() const { return properties_.Get() != nullptr; }
  int32_t Id() const { return id_; }
  int32_t LineageID() const { return lineageID_; }
  ColumnSpec Attributes() const;
  void SetAttributes(const ColumnSpec& attributes);
  std::u16string Name() const;
  // Changes several attributes as one step: `change(ColumnSpec&)`.
  template <class Change>
  void Update(Change change) {
    std::lock_guard lock(mutex_);
    change(attributes_);
  }
  CustomPropertyCollection* Properties() const { return properties_.Get(); }

  // Interface helpers: copy one field out (E_POINTER for a null out-argument).
  HRESULT GetInt(int32_t ColumnSpec::*field, int32_t* out) const;
  HRESULT GetText(std::u16string ColumnSpec::*field, BSTR* out) const;
  HRESULT PutInt(int32_t ColumnSpec::*field, int32_t value);
  HRESULT PutText(std::u16string ColumnSpec::*field, BSTR text);
  HRESULT GetProperties(IDTSCustomPropertyCollection90** out) const;

 private:
  const int32_t id_;
  const int32_t lineageID_;
  const ComPtr<CustomPropertyCollection> properties_;
  mutable std::mutex mutex_;
  ColumnSpec attributes_;  // GUARDED_BY(mutex_)
};

}  // namespace host
