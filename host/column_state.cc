#include "host/column_state.h"

#include <utility>

namespace host {

ColumnState::ColumnState(int32_t id, int32_t lineageID, ColumnSpec attributes, IdSourcePtr ids)
    : id_(id),
      lineageID_(lineageID),
      properties_(MakeObject<CustomPropertyCollection>(std::move(ids))),
      attributes_(std::move(attributes)) {}

ColumnSpec ColumnState::Attributes() const {
  std::lock_guard lock(mutex_);
  return attributes_;
}

void ColumnState::SetAttributes(const ColumnSpec& attributes) {
  ColumnSpec copy = attributes;
  std::lock_guard lock(mutex_);
  std::swap(attributes_, copy);
}

std::u16string ColumnState::Name() const {
  std::lock_guard lock(mutex_);
  return attributes_.name;
}

HRESULT ColumnState::GetInt(int32_t ColumnSpec::*field, int32_t* out) const {
  if (out == nullptr) return E_POINTER;
  std::lock_guard lock(mutex_);
  *out = attributes_.*field;
  return S_OK;
}

HRESULT ColumnState::GetText(std::u16string ColumnSpec::*field, BSTR* out) const {
  return NoThrow([&] {
    std::u16string text;
    {
      std::lock_guard lock(mutex_);
      text = attributes_.*field;
    }
    return CopyToBstr(text, out);
  });
}

HRESULT ColumnState::PutInt(int32_t ColumnSpec::*field, int32_t value) {
  std::lock_guard lock(mutex_);
  attributes_.*field = value;
  return S_OK;
}

HRESULT ColumnState::PutText(std::u16string ColumnSpec::*field, BSTR text) {
  return NoThrow([&] {
    std::u16string copy(plat::BstrView(text));
    std::lock_guard lock(mutex_);
    (attributes_.*field).swap(copy);
    return S_OK;
  });
}

HRESULT ColumnState::GetProperties(IDTSCustomPropertyCollection90** out) const {
  return HandOut(properties_, out);
}

}  // namespace host
