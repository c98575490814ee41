// An input: ID, name, description, its column collection, the handle of the
// buffer type of its rows, and its path to the upstream source.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "host/collection.h"
#include "host/input_column.h"
#include "host/virtual_input.h"

namespace host {

class Input : public ComObject<IDTSInput90> {
 public:
  Input(int32_t id, IdSourcePtr ids);
  static ComPtr<Input> CreateNew(const IdSourcePtr& ids);

  HRESULT STDMETHODCALLTYPE get_ID(int32_t* id) override;
  HRESULT STDMETHODCALLTYPE get_Name(BSTR* name) override;
  HRESULT STDMETHODCALLTYPE put_Name(BSTR name) override;
  HRESULT STDMETHODCALLTYPE get_Description(BSTR* description) override;
  HRESULT STDMETHODCALLTYPE put_Description(BSTR description) override;
  HRESULT STDMETHODCALLTYPE get_InputColumnCollection(IDTSInputColumnCollection90** columns) override;
  // 0 until the host has laid out the input's buffer type.
  HRESULT STDMETHODCALLTYPE get_Buffer(int32_t* bufferType) override;
  HRESULT STDMETHODCALLTYPE GetVirtualInput(IDTSVirtualInput90** virtualInput) override;

  int32_t Id() const { return id_; }
  std::u16string Name() const;
  std::u16string Description() const;
  InputColumnCollection* Columns() const { return columns_.Get(); }
  int32_t BufferType() const;
  void SetBufferType(int32_t bufferType);
  // Connects the input to an upstream source (replacing any earlier path).
  void AttachUpstream(UpstreamPtr upstream);
  UpstreamPtr Upstream() const;
  ComPtr<VirtualInput> MakeVirtualInput() const;

 private:
  const int32_t id_;
  const IdSourcePtr ids_;
  const ComPtr<InputColumnCollection> columns_;
  mutable std::mutex mutex_;
  std::u16string name_;         // GUARDED_BY(mutex_)
  std::u16string description_;  // GUARDED_BY(mutex_)
  int32_t bufferType_ = 0;      // GUARDED_BY(mutex_)
  UpstreamPtr upstream_;        // GUARDED_BY(mutex_)
};

using InputCollection = Collection<IDTSInputCollection90, IDTSInput90, Input>;

}  // namespace host
