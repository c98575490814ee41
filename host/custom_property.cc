#include "host/custom_property.h"

namespace host {

CustomProperty::CustomProperty(int32_t id) : id_(id) {
  VariantInit(&value_);
}

CustomProperty::~CustomProperty() {
  VariantClear(&value_);
}

ComPtr<CustomProperty> CustomProperty::CreateNew(const IdSourcePtr& ids) {
  return MakeObject<CustomProperty>(ids->Next());
}

HRESULT STDMETHODCALLTYPE CustomProperty::get_ID(int32_t* id) {
  if (id == nullptr) return E_POINTER;
  *id = id_;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CustomProperty::get_Name(BSTR* name) {
  return NoThrow([&] { return CopyToBstr(Name(), name); });
}

HRESULT STDMETHODCALLTYPE CustomProperty::put_Name(BSTR name) {
  return NoThrow([&] {
    SetName(plat::BstrView(name));
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE CustomProperty::get_Description(BSTR* description) {
  return NoThrow([&] { return CopyToBstr(Description(), description); });
}

HRESULT STDMETHODCALLTYPE CustomProperty::put_Description(BSTR description) {
  return NoThrow([&] {
    SetDescription(plat::BstrView(description));
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE CustomProperty::get_Value(VARIANT* value) {
  if (value == nullptr) return E_POINTER;
  VariantInit(value);
  return CopyValue(value);
}

HRESULT STDMETHODCALLTYPE CustomProperty::put_Value(VARIANT value) {
  return SetValue(value);
}

std::u16string CustomProperty::Name() const {
  std::lock_guard lock(mutex_);
  return name_;
}

bool CustomProperty::NameEquals(std::u16string_view name) const {
  std::lock_guard lock(mutex_);
  return name_ == name;
}

std::u16string CustomProperty::Description() const {
  std::lock_guard lock(mutex_);
  return description_;
}

void CustomProperty::SetName(std::u16string_view name) {
  std::u16string copy(name);
  std::lock_guard lock(mutex_);
  name_.swap(copy);
}

void CustomProperty::SetDescription(std::u16string_view description) {
  std::u16string copy(description);
  std::lock_guard lock(mutex_);
  description_.swap(copy);
}

HRESULT CustomProperty::CopyValue(VARIANT* copy) const {
  std::lock_guard lock(mutex_);
  return VariantCopy(copy, &value_);
}

HRESULT CustomProperty::SetValue(const VARIANT& value) {
  // A property keeps its own value: a reference into the caller's memory
  // would dangle once the call returns, and no property holds an array or a
  // record. Windows' VariantCopy would keep all three; ours refuses them.
  if ((value.vt & (VT_BYREF | VT_ARRAY)) != 0 || value.vt == VT_RECORD) return DISP_E_BADVARTYPE;
  // Copy outside the lock, then swap in, so a failed copy leaves the old value.
  VARIANT copy;
  VariantInit(&copy);
  HRESULT hr = VariantCopy(&copy, &value);
  if (FAILED(hr)) return hr;
  {
    std::lock_guard lock(mutex_);
    std::swap(copy, value_);
  }
  VariantClear(&copy);
  return S_OK;
}

ComPtr<CustomProperty> AddCustomProperty(CustomPropertyCollection& properties,
                                         std::u16string_view name, const VARIANT& value) {
  ComPtr<CustomProperty> property = CustomProperty::CreateNew(properties.Ids());
  if (!property) return property;
  property->SetName(name);
  if (FAILED(property->SetValue(value))) return ComPtr<CustomProperty>();
  properties.Append(property);
  return property;
}

bool GetIntProperty(const CustomPropertyCollection& properties, std::u16string_view name,
                    int32_t* value) {
  ComPtr<CustomProperty> property = properties.FindByName(name);
  if (!property) return false;
  plat::Variant copy;
  if (FAILED(property->CopyValue(copy.Put())) || copy.Get().vt != VT_I4) return false;
  *value = copy.Get().lVal;
  return true;
}

HRESULT CopyToBstr(std::u16string_view text, BSTR* out) {
  if (out == nullptr) return E_POINTER;
  *out = SysAllocStringLen(text.data(), static_cast<uint32_t>(text.size()));
  return *out == nullptr ? E_OUTOFMEMORY : S_OK;
}

}  // namespace host
