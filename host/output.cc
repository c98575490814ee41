#include "host/output.h"

#include <utility>

namespace host {

Output::Output(int32_t id, IdSourcePtr ids)
    : id_(id), columns_(MakeObject<OutputColumnCollection>(std::move(ids))) {}

ComPtr<Output> Output::CreateNew(const IdSourcePtr& ids) {
  ComPtr<Output> output = MakeObject<Output>(ids->Next(), ids);
  return output && output->Columns() ? output : ComPtr<Output>();
}

HRESULT STDMETHODCALLTYPE Output::get_ID(int32_t* id) {
  if (id == nullptr) return E_POINTER;
  *id = id_;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Output::get_Name(BSTR* name) {
  return NoThrow([&] { return CopyToBstr(Name(), name); });
}

HRESULT STDMETHODCALLTYPE Output::put_Name(BSTR name) {
  return NoThrow([&] {
    std::u16string copy(plat::BstrView(name));
    std::lock_guard lock(mutex_);
    name_.swap(copy);
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE Output::get_Description(BSTR* description) {
  return NoThrow([&] { return CopyToBstr(Description(), description); });
}

HRESULT STDMETHODCALLTYPE Output::put_Description(BSTR description) {
  return NoThrow([&] {
    std::u16string copy(plat::BstrView(description));
    std::lock_guard lock(mutex_);
    description_.swap(copy);
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE Output::get_OutputColumnCollection(IDTSOutputColumnCollection90** columns) {
  return HandOut(columns_, columns);
}

HRESULT STDMETHODCALLTYPE Output::get_Buffer(int32_t* bufferType) {
  if (bufferType == nullptr) return E_POINTER;
  *bufferType = BufferType();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Output::get_IsSorted(VARIANT_BOOL* sorted) {
  if (sorted == nullptr) return E_POINTER;
  *sorted = IsSorted();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Output::put_IsSorted(VARIANT_BOOL sorted) {
  std::lock_guard lock(mutex_);
  isSorted_ = sorted;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Output::get_SynchronousInputID(int32_t* inputID) {
  if (inputID == nullptr) return E_POINTER;
  *inputID = SynchronousInputID();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Output::put_SynchronousInputID(int32_t inputID) {
  std::lock_guard lock(mutex_);
  synchronousInputID_ = inputID;
  return S_OK;
}

std::u16string Output::Name() const {
  std::lock_guard lock(mutex_);
  return name_;
}

std::u16string Output::Description() const {
  std::lock_guard lock(mutex_);
  return description_;
}

int32_t Output::BufferType() const {
  std::lock_guard lock(mutex_);
  return bufferType_;
}

void Output::SetBufferType(int32_t bufferType) {
  std::lock_guard lock(mutex_);
  bufferType_ = bufferType;
}

VARIANT_BOOL Output::IsSorted() const {
  std::lock_guard lock(mutex_);
  return isSorted_;
}

int32_t Output::SynchronousInputID() const {
  std::lock_guard lock(mutex_);
  return synchronousInputID_;
}

}  // namespace host
