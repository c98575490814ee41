// A custom property: ID, name, description and a VARIANT value. Values are
// deep-copied in and out (a BSTR value is duplicated), so neither side ever
// shares a string with the other.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "host/collection.h"
#include "host/com_object.h"
#include "host/id_source.h"

namespace host {

class CustomProperty : public ComObject<IDTSCustomProperty90> {
 public:
  explicit CustomProperty(int32_t id);
  ~CustomProperty() override;
  static ComPtr<CustomProperty> CreateNew(const IdSourcePtr& ids);

  HRESULT STDMETHODCALLTYPE get_ID(int32_t* id) override;
  HRESULT STDMETHODCALLTYPE get_Name(BSTR* name) override;
  HRESULT STDMETHODCALLTYPE put_Name(BSTR name) override;
  HRESULT STDMETHODCALLTYPE get_Description(BSTR* description) override;
  HRESULT STDMETHODCALLTYPE put_Description(BSTR description) override;
  // `value` is an out-argument: it is overwritten, not cleared first.
  HRESULT STDMETHODCALLTYPE get_Value(VARIANT* value) override;
  // DISP_E_BADVARTYPE for a VARIANT type that cannot be held (a reference, an
  // array, a record); the old value stays.
  HRESULT STDMETHODCALLTYPE put_Value(VARIANT value) override;

  int32_t Id() const { return id_; }
  std::u16string Name() const;
  bool NameEquals(std::u16string_view name) const;
  std::u16string Description() const;
  void SetName(std::u16string_view name);
  void SetDescription(std::u16string_view description);
  // A deep copy of the value into `copy`, which the caller clears.
  HRESULT CopyValue(VARIANT* copy) const;
  HRESULT SetValue(const VARIANT& value);

 private:
  const int32_t id_;
  mutable std::mutex mutex_;
  std::u16string name_;         // GUARDED_BY(mutex_)
  std::u16string description_;  // GUARDED_BY(mutex_)
  VARIANT value_;               // GUARDED_BY(mutex_)
};

using CustomPropertyCollection =
    Collection<IDTSCustomPropertyCollection90, IDTSCustomProperty90, CustomProperty>;

// Adds a property with a name and a value (deep-copied) to a collection.
// Null when memory runs out or the value cannot be copied.
ComPtr<CustomProperty> AddCustomProperty(CustomPropertyCollection& properties,
                                         std::u16string_view name, const VARIANT& value);

// Reads the VT_I4 value of the named property; false when the property is
// missing or holds another type.
bool GetIntProperty(const CustomPropertyCollection& properties, std::u16string_view name,
                    int32_t* value);

// Shared by every host object for its BSTR getters: a copy of `text`, or
// E_OUTOFMEMORY. A null out-argument is E_POINTER.
HRESULT CopyToBstr(std::u16string_view text, BSTR* out);

}  // namespace host
