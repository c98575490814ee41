#include "host/input.h"

#include <utility>

namespace host {

Input::Input(int32_t id, IdSourcePtr ids)
    : id_(id), ids_(std::move(ids)), columns_(MakeObject<InputColumnCollection>(ids_)) {}

ComPtr<Input> Input::CreateNew(const IdSourcePtr& ids) {
  ComPtr<Input> input = MakeObject<Input>(ids->Next(), ids);
  return input && input->Columns() ? input : ComPtr<Input>();
}

HRESULT STDMETHODCALLTYPE Input::get_ID(int32_t* id) {
  if (id == nullptr) return E_POINTER;
  *id = id_;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Input::get_Name(BSTR* name) {
  return NoThrow([&] { return CopyToBstr(Name(), name); });
}

HRESULT STDMETHODCALLTYPE Input::put_Name(BSTR name) {
  return NoThrow([&] {
    std::u16string copy(plat::BstrView(name));
    std::lock_guard lock(mutex_);
    name_.swap(copy);
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE Input::get_Description(BSTR* description) {
  return NoThrow([&] { return CopyToBstr(Description(), description); });
}

HRESULT STDMETHODCALLTYPE Input::put_Description(BSTR description) {
  return NoThrow([&] {
    std::u16string copy(plat::BstrView(description));
    std::lock_guard lock(mutex_);
    description_.swap(copy);
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE Input::get_InputColumnCollection(IDTSInputColumnCollection90** columns) {
  return HandOut(columns_, columns);
}

HRESULT STDMETHODCALLTYPE Input::get_Buffer(int32_t* bufferType) {
  if (bufferType == nullptr) return E_POINTER;
  *bufferType = BufferType();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Input::GetVirtualInput(IDTSVirtualInput90** virtualInput) {
  if (virtualInput == nullptr) return E_POINTER;
  *virtualInput = nullptr;
  ComPtr<VirtualInput> made = MakeVirtualInput();
  if (!made) return E_OUTOFMEMORY;
  return HandOut(made, virtualInput);
}

std::u16string Input::Name() const {
  std::lock_guard lock(mutex_);
  return name_;
}

std::u16string Input::Description() const {
  std::lock_guard lock(mutex_);
  return description_;
}

int32_t Input::BufferType() const {
  std::lock_guard lock(mutex_);
  return bufferType_;
}

void Input::SetBufferType(int32_t bufferType) {
  std::lock_guard lock(mutex_);
  bufferType_ = bufferType;
}

void Input::AttachUpstream(UpstreamPtr upstream) {
  std::lock_guard lock(mutex_);
  upstream_.swap(upstream);
}

UpstreamPtr Input::Upstream() const {
  std::lock_guard lock(mutex_);
  return upstream_;
}

ComPtr<VirtualInput> Input::MakeVirtualInput() const {
  return MakeObject<VirtualInput>(Upstream(), columns_, ids_);
}

}  // namespace host
