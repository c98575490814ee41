// The design-time requests the component answers with a fixed result: it
// has one input and one output that the user cannot add to or remove, no
// external metadata, no connections and no events of its own. None of these
// reads its arguments; each out-argument that the caller gives a place for
// receives a defined value (valid, none, the empty string), because a caller
// may release or free what it gets back whatever the result.
#include "component/tolvarine.h"

namespace {

template <typename T>
void ClearOut(T** out) {
  if (out) *out = nullptr;
}

// The host's validation status for metadata that needs nothing done.
constexpr int32_t kStatusIsValid = 0;

}  // namespace

HRESULT STDMETHODCALLTYPE CTolvarine::Validate(int32_t* status) {
  if (status) *status = kStatusIsValid;
  return S_OK;
}
HRESULT STDMETHODCALLTYPE CTolvarine::ReinitializeMetaData() {
  return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE CTolvarine::InsertInput(int32_t, int32_t, IDTSInput90** input) {
  ClearOut(input);
  return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE CTolvarine::OnInputPathAttached(int32_t) {
  return S_OK;
}
HRESULT STDMETHODCALLTYPE CTolvarine::InsertOutput(int32_t, int32_t, IDTSOutput90** output) {
  ClearOut(output);
  return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE CTolvarine::DeleteInput(int32_t) {
  return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE CTolvarine::DeleteOutput(int32_t) {
  return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE CTolvarine::InsertOutputColumnAt(int32_t, int32_t, BSTR, BSTR,
                                         IDTSOutputColumn90** column) {
  ClearOut(column);
  return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE CTolvarine::DeleteOutputColumn(int32_t, int32_t) {
  return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE CTolvarine::SetOutputColumnProperty(int32_t, int32_t, BSTR, VARIANT,
                                            IDTSCustomProperty90** property) {
  ClearOut(property);
  return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE CTolvarine::SetOutputProperty(int32_t, BSTR, VARIANT) {
  return S_OK;
}
HRESULT STDMETHODCALLTYPE CTolvarine::SetInputProperty(int32_t, BSTR, VARIANT) {
  return S_OK;
}
HRESULT STDMETHODCALLTYPE CTolvarine::OnOutputPathAttached(int32_t) {
  return S_OK;
}
HRESULT STDMETHODCALLTYPE CTolvarine::OnInputPathDetached(int32_t) {
  return S_OK;
}

// The one request that reaches the host: the pipeline's upgrade request is
// passed on to the metadata's version.
HRESULT STDMETHODCALLTYPE CTolvarine::PerformUpgrade(int32_t pipelineVersion) {
  if (!ComponentMetaData) return E_UNEXPECTED;
  HRESULT hr = ComponentMetaData->put_Version(pipelineVersion);
  return FAILED(hr) ? hr : S_OK;
}

HRESULT STDMETHODCALLTYPE CTolvarine::OnOutputPathDetached(int32_t) {
  return S_OK;
}
HRESULT STDMETHODCALLTYPE CTolvarine::SetExternalMetadataColumnProperty(int32_t, BSTR, VARIANT) {
  return S_OK;
}
HRESULT STDMETHODCALLTYPE CTolvarine::MapInputColumn(int32_t, int32_t, int32_t) {
  return S_OK;
}
HRESULT STDMETHODCALLTYPE CTolvarine::MapOutputColumn(int32_t, int32_t, int32_t) {
  return S_OK;
}
HRESULT STDMETHODCALLTYPE CTolvarine::OnDeletingInputColumn(int32_t, int32_t) {
  return S_OK;
}
HRESULT STDMETHODCALLTYPE CTolvarine::OnDeletingOutputColumn(int32_t, int32_t) {
  return S_OK;
}
HRESULT STDMETHODCALLTYPE CTolvarine::AcquireConnections(IUnknown*) {
  return S_OK;
}
HRESULT STDMETHODCALLTYPE CTolvarine::ReleaseConnections() {
  return S_OK;
}
// No error output, so no code of its own to describe: the empty string.
HRESULT STDMETHODCALLTYPE CTolvarine::DescribeRedirectedErrorCode(int32_t, BSTR* description) {
  if (description) *description = nullptr;
  return S_OK;
}
HRESULT STDMETHODCALLTYPE CTolvarine::put_ComponentMetaDataForDesign(IDTSComponentMetaData90*) {
  return S_OK;
}
HRESULT STDMETHODCALLTYPE CTolvarine::RegisterEvents() {
  return S_OK;
}
