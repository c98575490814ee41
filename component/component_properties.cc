// ProvideComponentProperties: the component shapes its own metadata, with
// one input, one sorted asynchronous output and the five component custom
// properties that pre-execution reads back by name.
#include "component/custom_properties.h"
#include "component/string_table.h"
#include "component/tolvarine.h"
#include "interfaces/property_names.h"

namespace {

struct PropertyDefinition {
  const char16_t* Name;
  const VARIANT* Default;
  uint32_t DescriptionId;
};

// Sets the name, then the description, of an input or output from the
// string table; a text that is missing reaches the host as a null string.
template <class Item>
HRESULT NameAndDescribe(Item* item, uint32_t nameId, uint32_t descriptionId) {
  plat::Bstr name;
  *name.Put() = LoadComponentString(nameId);
  HRESULT hr = item->put_Name(name.Get());
  if (FAILED(hr)) return hr;
  plat::Bstr description;
  *description.Put() = LoadComponentString(descriptionId);
  return item->put_Description(description.Get());
}

// Removes every custom property called `name`, so that a repeated call
// replaces its properties instead of adding a second set. Bounded by the
// collection's size, whatever the host does.
HRESULT RemoveProperties(IDTSCustomPropertyCollection90* properties, const char16_t* name) {
  int32_t count = 0;
  HRESULT hr = properties->get_Count(&count);
  if (FAILED(hr)) return hr;
  for (int32_t removed = 0; removed < count; ++removed) {
    ComPtr<IDTSCustomProperty90> property;
    hr = GetCustomPropertyByName(properties, name, property.Put());
    if (hr == DTS_E_ELEMENTNOTFOUND) return S_OK;
    if (FAILED(hr)) return hr;
    int32_t id = 0;
    hr = property->get_ID(&id);
    if (FAILED(hr)) return hr;
    hr = properties->RemoveObjectByID(id);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

HRESULT AddProperty(IDTSCustomPropertyCollection90* properties,
                    const PropertyDefinition& definition) {
  HRESULT hr = RemoveProperties(properties, definition.Name);
  if (FAILED(hr)) return hr;
  ComPtr<IDTSCustomProperty90> property;
  hr = properties->New(property.Put());
  if (FAILED(hr)) return hr;
  plat::Bstr name(definition.Name);
  if (!name.Get()) return E_OUTOFMEMORY;
  hr = property->put_Name(name.Get());
  if (FAILED(hr)) return hr;
  hr = property->put_Value(*definition.Default);
  if (FAILED(hr)) return hr;
  plat::Bstr description;
  *description.Put() = LoadComponentString(definition.DescriptionId);
  return property->put_Description(description.Get());
}

}  // namespace

HRESULT STDMETHODCALLTYPE CTolvarine::ProvideComponentProperties() {
  if (!ComponentMetaData) return E_UNEXPECTED;

  // The defaults select every run-time fallback: no duplicate elimination,
  // one thread per processor, the temporary directory, 60 percent of
  // physical memory, and the 200 MB floor of the scratch file size.
  plat::Variant zero = plat::Variant::I4(0);
  plat::Variant scratchFileSize = plat::Variant::I4(200);
  plat::Variant notEliminating = plat::Variant::Bool(false);
  plat::Variant emptyText = plat::Variant::Str(SysAllocString(u""));
  if (!emptyText.Get().bstrVal) return E_OUTOFMEMORY;

  plat::Bstr description;
  *description.Put() = LoadComponentString(IDS_COMPONENT_DESCRIPTION);
  HRESULT hr = ComponentMetaData->put_Description(description.Get());
  if (FAILED(hr)) return hr;

  // Exactly one input and one output, whatever the metadata held before.
  ComPtr<IDTSInputCollection90> inputs;
  hr = ComponentMetaData->get_InputCollection(inputs.Put());
  if (FAILED(hr)) return hr;
  hr = inputs->RemoveAll();
  if (FAILED(hr)) return hr;
  ComPtr<IDTSInput90> input;
  hr = inputs->New(input.Put());
  if (FAILED(hr)) return hr;
  hr = NameAndDescribe(input.Get(), IDS_INPUT_NAME, IDS_INPUT_DESCRIPTION);
  if (FAILED(hr)) return hr;

  // The output is tied to no input: it has buffers of its own, which the
  // engine fills after the whole input has arrived.
  ComPtr<IDTSOutputCollection90> outputs;
  hr = ComponentMetaData->get_OutputCollection(outputs.Put());
  if (FAILED(hr)) return hr;
  hr = outputs->RemoveAll();
  if (FAILED(hr)) return hr;
  ComPtr<IDTSOutput90> output;
  hr = outputs->New(output.Put());
  if (FAILED(hr)) return hr;
  hr = output->put_IsSorted(VARIANT_TRUE);
  if (FAILED(hr)) return hr;
  hr = NameAndDescribe(output.Get(), IDS_OUTPUT_NAME, IDS_OUTPUT_DESCRIPTION);
  if (FAILED(hr)) return hr;

  ComPtr<IDTSCustomPropertyCollection90> properties;
  hr = ComponentMetaData->get_CustomPropertyCollection(properties.Put());
  if (FAILED(hr)) return hr;
  const PropertyDefinition definitions[] = {
      {kEliminateDuplicatesProperty, &notEliminating.Get(), IDS_ELIMINATE_DUPLICATES},
      {kSortThreadsProperty, &zero.Get(), IDS_SORT_THREADS},
      {kScratchAreasProperty, &emptyText.Get(), IDS_SCRATCH_AREAS},
      {kRamBudgetProperty, &zero.Get(), IDS_RAM_BUDGET},
      {kScratchFileSizeProperty, &scratchFileSize.Get(), IDS_SCRATCH_FILE_SIZE},
  };
  for (const auto& definition : definitions) {
    hr = AddProperty(properties.Get(), definition);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}
