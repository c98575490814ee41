// The component metadata: the component's inputs, outputs and custom
// properties, its description and its version. Every object reached from
// it draws IDs from the one IdSource it was made with.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "host/custom_property.h"
#include "host/input.h"
#include "host/output.h"

namespace host {

class ComponentMetaData : public ComObject<IDTSComponentMetaData90> {
 public:
  explicit ComponentMetaData(IdSourcePtr ids);
  // Null when memory runs out.
  static ComPtr<ComponentMetaData> Create(IdSourcePtr ids = std::make_shared<IdSource>());

  HRESULT STDMETHODCALLTYPE get_InputCollection(IDTSInputCollection90** inputs) override;
  HRESULT STDMETHODCALLTYPE get_OutputCollection(IDTSOutputCollection90** outputs) override;
  HRESULT STDMETHODCALLTYPE get_CustomPropertyCollection(IDTSCustomPropertyCollection90** properties) override;
  HRESULT STDMETHODCALLTYPE get_Description(BSTR* description) override;
  HRESULT STDMETHODCALLTYPE put_Description(BSTR description) override;
  HRESULT STDMETHODCALLTYPE get_Version(int32_t* version) override;
  HRESULT STDMETHODCALLTYPE put_Version(int32_t version) override;

  const IdSourcePtr& Ids() const { return ids_; }
  InputCollection* Inputs() const { return inputs_.Get(); }
  OutputCollection* Outputs() const { return outputs_.Get(); }
  CustomPropertyCollection* Properties() const { return properties_.Get(); }
  std::u16string Description() const;
  int32_t Version() const;

 private:
  const IdSourcePtr ids_;
  const ComPtr<InputCollection> inputs_;
  const ComPtr<OutputCollection> outputs_;
  const ComPtr<CustomPropertyCollection> properties_;
  mutable std::mutex mutex_;
  std::u16string description_;  // GUARDED_BY(mutex_)
  int32_t version_ = 0;         // GUARDED_BY(mutex_)
};

}  // namespace host
