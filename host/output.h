// An output: ID, name, description, its column collection, the handle of
// the buffer type of its rows, its sorted flag and the ID of the input whose
// buffers it shares (0: asynchronous, with buffers of its own).
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "host/collection.h"
#include "host/output_column.h"

namespace host {

class Output : public ComObject<IDTSOutput90> {
 public:
  Output(int32_t id, IdSourcePtr ids);
  static ComPtr<Output> CreateNew(const IdSourcePtr& ids);

  HRESULT STDMETHODCALLTYPE get_ID(int32_t* id) override;
  HRESULT STDMETHODCALLTYPE get_Name(BSTR* name) override;
  HRESULT STDMETHODCALLTYPE put_Name(BSTR name) override;
  HRESULT STDMETHODCALLTYPE get_Description(BSTR* description) override;
  HRESULT STDMETHODCALLTYPE put_Description(BSTR description) override;
  HRESULT STDMETHODCALLTYPE get_OutputColumnCollection(IDTSOutputColumnCollection90** columns) override;
  // 0 until the host has laid out the output's buffer type.
  HRESULT STDMETHODCALLTYPE get_Buffer(int32_t* bufferType) override;
  HRESULT STDMETHODCALLTYPE get_IsSorted(VARIANT_BOOL* sorted) override;
  HRESULT STDMETHODCALLTYPE put_IsSorted(VARIANT_BOOL sorted) override;
  HRESULT STDMETHODCALLTYPE get_SynchronousInputID(int32_t* inputID) override;
  HRESULT STDMETHODCALLTYPE put_SynchronousInputID(int32_t inputID) override;

  int32_t Id() const { return id_; }
  std::u16string Name() const;
  std::u16string Description() const;
  OutputColumnCollection* Columns() const { return columns_.Get(); }
  int32_t BufferType() const;
  void SetBufferType(int32_t bufferType);
  // As stored: any non-zero VARIANT_BOOL reads back unchanged.
  VARIANT_BOOL IsSorted() const;
  int32_t SynchronousInputID() const;

 private:
  const int32_t id_;
  const ComPtr<OutputColumnCollection> columns_;
  mutable std::mutex mutex_;
  std::u16string name_;                    // GUARDED_BY(mutex_)
  std::u16string description_;             // GUARDED_BY(mutex_)
  int32_t bufferType_ = 0;                 // GUARDED_BY(mutex_)
  VARIANT_BOOL isSorted_ = VARIANT_FALSE;  // GUARDED_BY(mutex_)
  int32_t synchronousInputID_ = 0;         // GUARDED_BY(mutex_)
};

using OutputCollection = Collection<IDTSOutputCollection90, IDTSOutput90, Output>;

}  // namespace host
