// Shared by the component tests: a component object made as the class
// object makes it, wired to a host pipeline the way the host wires it.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "component/module_lock.h"
#include "component/tolvarine.h"
#include "host/pipeline_host.h"
#include "platform/bstr.h"
#include "platform/variant.h"

namespace componenttest {

class CountingModule final : public ModuleLockCount {
 public:
  void Lock() override { ++locks; }
  void Unlock() override { --locks; }
  std::atomic<int> locks{0};
};

// A buffer whose calls can be made to fail, counting Open and Close. Each added
// row (zeroed) is an allocation of its own for ASan; the AddRow numbered failAt fails.
class ScriptedBuffer final : public IDTSBuffer90 {
 public:
  explicit ScriptedBuffer(uint32_t rowWidth = 0) : width(rowWidth) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
    return *object = nullptr, E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  HRESULT STDMETHODCALLTYPE Open() override { return ++opens, openResult; }
  HRESULT STDMETHODCALLTYPE Close() override { return ++closes, closeResult; }
  HRESULT STDMETHODCALLTYPE get_EndOfRowset(VARIANT_BOOL* end) override {
    return *end = endOfRowset, endResult;
  }
  HRESULT STDMETHODCALLTYPE get_RowCount(uint32_t* count) override {
    return *count = rowCount, S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetRowData(int32_t, uint32_t* rowWidth, uint8_t** data) override {
    return *rowWidth = 0, *data = nullptr, dataResult;
  }
  HRESULT STDMETHODCALLTYPE AddRow(uint8_t** row) override {
    if (rows.size() == failAt) return E_OUTOFMEMORY;
    rows.push_back(std::make_unique<uint8_t[]>(width));
    *row = noRow ? nullptr : rows.back().get();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetEndOfRowset() override { return S_OK; }

  uint32_t width;
  ULONG refs = 1;
  int opens = 0, closes = 0;
  HRESULT openResult = S_OK, closeResult = S_OK, endResult = S_OK, dataResult = S_OK;
  VARIANT_BOOL endOfRowset = VARIANT_FALSE;
  uint32_t rowCount = 0;
  size_t failAt = SIZE_MAX;
  bool noRow = false;
  std::vector<std::unique_ptr<uint8_t[]>> rows;
};

// A component and a pipeline, the metadata and buffer manager handed over. The
// component goes first, then the pipeline: every host object must then be gone.
class ComponentFixture : public ::testing::Test {
 protected:
  ComponentFixture() {
    ComPtr<IUnknown> unknown;
    EXPECT_EQ(
        CTolvarine::CreateInstance(&module_, IID_IUnknown, reinterpret_cast<void**>(unknown.Put())),
        S_OK);
    unknown->QueryInterface(IID_IDTSRuntimeComponent90, reinterpret_cast<void**>(runtime_.Put()));
    unknown->QueryInterface(IID_IDTSDesigntimeComponent90, reinterpret_cast<void**>(design_.Put()));
    EXPECT_EQ(runtime_->put_ComponentMetaData(Metadata()), S_OK);
    EXPECT_EQ(runtime_->put_BufferManager(pipeline_->Buffers()), S_OK);
  }
  ~ComponentFixture() override {
    runtime_.Reset();
    design_.Reset();
    EXPECT_EQ(module_.locks, 0);
    delete pipeline_;
    EXPECT_EQ(host::LiveObjectCount(), 0);
  }

  host::ComponentMetaData* Metadata() const { return pipeline_->Metadata(); }
  host::Input* Input() const { return Metadata()->Inputs()->At(0).Get(); }
  host::Output* Output() const { return Metadata()->Outputs()->At(0).Get(); }
  host::OutputColumnCollection* OutputColumns() const { return Output()->Columns(); }
  host::CustomPropertyCollection* Properties() const { return Metadata()->Properties(); }

  // ProvideComponentProperties, then the upstream `columns` attached to the input.
  void Shape(const std::vector<host::ColumnSpec>& columns) {
    ASSERT_EQ(design_->ProvideComponentProperties(), S_OK);
    ASSERT_EQ(pipeline_->SetUpstream(columns), S_OK);
    pipeline_->AttachUpstream();
  }

  // SetUsageType through the component, as the designer calls it.
  HRESULT Use(size_t upstreamIndex, int32_t usage, IDTSInputColumn90** column = nullptr) {
    ComPtr<IDTSVirtualInput90> virtualInput;
    EXPECT_EQ(Input()->GetVirtualInput(virtualInput.Put()), S_OK);
    ComPtr<IDTSInputColumn90> ignored;
    return design_->SetUsageType(Input()->Id(), virtualInput.Get(),
                                 pipeline_->UpstreamLineageID(upstreamIndex), usage,
                                 column ? column : ignored.Put());
  }

  HRESULT SetColumnProperty(size_t upstreamIndex, const char16_t* name, const VARIANT& value) {
    auto column = Input()->Columns()->FindByLineageID(pipeline_->UpstreamLineageID(upstreamIndex));
    if (!column) return E_FAIL;
    plat::Bstr propertyName(name);
    return design_->SetInputColumnProperty(Input()->Id(), column->Id(), propertyName.Get(), value,
                                           nullptr);
  }

  HRESULT SetProperty(const char16_t* name, const VARIANT& value) {
    plat::Bstr propertyName(name);
    return design_->SetComponentProperty(propertyName.Get(), value, nullptr);
  }

  CountingModule module_;
  host::Pipeline* pipeline_ = new host::Pipeline;
  ComPtr<IDTSRuntimeComponent90> runtime_;
  ComPtr<IDTSDesigntimeComponent90> design_;
};

inline int32_t IntValue(const host::CustomPropertyCollection& properties,
                        std::u16string_view name) {
  int32_t value = INT32_MIN;
  EXPECT_TRUE(host::GetIntProperty(properties, name, &value)) << plat::Utf16ToUtf8(name);
  return value;
}

}  // namespace componenttest
