// One component's place in a data flow: its metadata, the buffer manager,
// and the upstream source that feeds its inputs. See pipeline_host.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/buffer_manager.h"
#include "host/column_spec.h"
#include "host/component_metadata.h"
#include "host/virtual_input.h"

namespace host {

class Pipeline {
 public:
  // Fresh, empty metadata and buffer manager sharing one ID counter; no
  // upstream columns. Throws bad_alloc when memory runs out.
  Pipeline();
  Pipeline(const Pipeline&) = delete;
  Pipeline& operator=(const Pipeline&) = delete;

  // Describes the upstream source: its columns get IDs and lineage IDs from
  // the pipeline's counter, in order. E_INVALIDARG (nothing changed) when a
  // column's data type properties are refused (CheckDataTypeProperties).
  // Inputs attached before keep the columns they were attached to.
  HRESULT SetUpstream(const std::vector<ColumnSpec>& columns);
  const UpstreamPtr& Upstream() const { return upstream_; }
  // REQUIRES: index < number of upstream columns.
  int32_t UpstreamLineageID(size_t index) const { return upstream_->columns[index].lineageID; }

  // Connects every input of the metadata to the upstream source (what the
  // host does when a path is attached to the component).
  void AttachUpstream();

  // Lays out the buffer types of an execution, as they are at this moment:
  // every input gets one type of all upstream columns in upstream order
  // (the rows the source produces), every output a type of its own columns.
  // The two orders differ by default so that input and output rows differ.
  HRESULT PrepareBufferTypes(LayoutOrder inputOrder = LayoutOrder::kColumnOrder,
                             LayoutOrder outputOrder = LayoutOrder::kPacked);

  ComponentMetaData* Metadata() const { return metadata_.Get(); }
  BufferManager* Buffers() const { return buffers_.Get(); }
  const IdSourcePtr& Ids() const { return ids_; }

 private:
  IdSourcePtr ids_;
  ComPtr<ComponentMetaData> metadata_;
  ComPtr<BufferManager> buffers_;
  UpstreamPtr upstream_;
};

}  // namespace host
