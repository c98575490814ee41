#include "host/pipeline.h"

#include <new>

namespace host {
namespace {

LayoutColumn ToLayoutColumn(int32_t lineageID, const ColumnSpec& spec) {
  return {lineageID, spec.dataType, spec.length, spec.precision, spec.scale, spec.codePage};
}

}  // namespace

Pipeline::Pipeline()
    : ids_(std::make_shared<IdSource>()),
      metadata_(ComponentMetaData::Create(ids_)),
      buffers_(MakeObject<BufferManager>()),
      upstream_(std::make_shared<const UpstreamOutput>()) {
  if (!metadata_ || !buffers_) throw std::bad_alloc();
}

HRESULT Pipeline::SetUpstream(const std::vector<ColumnSpec>& columns) {
  return NoThrow([&]() -> HRESULT {
    auto upstream = std::make_shared<UpstreamOutput>();
    for (const ColumnSpec& spec : columns) {
      HRESULT hr = CheckDataTypeProperties(spec.dataType, spec.length, spec.precision, spec.scale);
      if (FAILED(hr)) return hr;
      UpstreamColumn column;
      column.id = ids_->Next();
      column.lineageID = ids_->Next();
      column.spec = spec;
      upstream->columns.push_back(std::move(column));
    }
    upstream_ = std::move(upstream);
    return S_OK;
  });
}

void Pipeline::AttachUpstream() {
  for (const ComPtr<Input>& input : metadata_->Inputs()->Items()) input->AttachUpstream(upstream_);
}

HRESULT Pipeline::PrepareBufferTypes(LayoutOrder inputOrder, LayoutOrder outputOrder) {
  return NoThrow([&]() -> HRESULT {
    for (const ComPtr<Input>& input : metadata_->Inputs()->Items()) {
      std::vector<LayoutColumn> columns;
      if (UpstreamPtr upstream = input->Upstream()) {
        for (const UpstreamColumn& c : upstream->columns) {
          columns.push_back(ToLayoutColumn(c.lineageID, c.spec));
        }
      }
      int32_t bufferType = 0;
      HRESULT hr = buffers_->AddBufferType(columns, inputOrder, &bufferType);
      if (FAILED(hr)) return hr;
      input->SetBufferType(bufferType);
    }
    for (const ComPtr<Output>& output : metadata_->Outputs()->Items()) {
      std::vector<LayoutColumn> columns;
      for (const ComPtr<OutputColumn>& c : output->Columns()->Items()) {
        columns.push_back(ToLayoutColumn(c->LineageID(), c->Attributes()));
      }
      int32_t bufferType = 0;
      HRESULT hr = buffers_->AddBufferType(columns, outputOrder, &bufferType);
      if (FAILED(hr)) return hr;
      output->SetBufferType(bufferType);
    }
    return S_OK;
  });
}

}  // namespace host
