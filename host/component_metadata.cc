#include "host/component_metadata.h"

#include <utility>

namespace host {

ComponentMetaData::ComponentMetaData(IdSourcePtr ids)
    : ids_(std::move(ids)),
      inputs_(MakeObject<InputCollection>(ids_)),
      outputs_(MakeObject<OutputCollection>(ids_)),
      properties_(MakeObject<CustomPropertyCollection>(ids_)) {}

ComPtr<ComponentMetaData> ComponentMetaData::Create(IdSourcePtr ids) {
  ComPtr<ComponentMetaData> metadata = MakeObject<ComponentMetaData>(std::move(ids));
  if (metadata && metadata->Inputs() && metadata->Outputs() && metadata->Properties()) {
    return metadata;
  }
  return ComPtr<ComponentMetaData>();
}

HRESULT STDMETHODCALLTYPE ComponentMetaData::get_InputCollection(IDTSInputCollection90** inputs) {
  return HandOut(inputs_, inputs);
}

HRESULT STDMETHODCALLTYPE ComponentMetaData::get_OutputCollection(IDTSOutputCollection90** outputs) {
  return HandOut(outputs_, outputs);
}

HRESULT STDMETHODCALLTYPE ComponentMetaData::get_CustomPropertyCollection(
    IDTSCustomPropertyCollection90** properties) {
  return HandOut(properties_, properties);
}

HRESULT STDMETHODCALLTYPE ComponentMetaData::get_Description(BSTR* description) {
  return NoThrow([&] { return CopyToBstr(Description(), description); });
}

HRESULT STDMETHODCALLTYPE ComponentMetaData::put_Description(BSTR description) {
  return NoThrow([&] {
    std::u16string copy(plat::BstrView(description));
    std::lock_guard lock(mutex_);
    description_.swap(copy);
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE ComponentMetaData::get_Version(int32_t* version) {
  if (version == nullptr) return E_POINTER;
  *version = Version();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ComponentMetaData::put_Version(int32_t version) {
  std::lock_guard lock(mutex_);
  version_ = version;
  return S_OK;
}

std::u16string ComponentMetaData::Description() const {
  std::lock_guard lock(mutex_);
  return description_;
}

int32_t ComponentMetaData::Version() const {
  std::lock_guard lock(mutex_);
  return version_;
}

}  // namespace host
