// The virtual input: the columns of the upstream source that an input may
// select from, and the operation that selects or deselects one of them.
//
// The upstream output is fixed when a pipeline is built (Pipeline draws its
// columns' IDs and lineage IDs from the pipeline's counter) and attached to
// an input as its path. Each call to GetVirtualInput makes a new virtual
// input object over that path and the input's column collection; its only
// state is its column collection, made on first request and handed to every
// caller after (read-only, and the path never changes under it), so that a
// designer selecting every column one by one does not rebuild it each time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "host/collection.h"
#include "host/column_spec.h"
#include "host/input_column.h"

namespace host {

struct UpstreamColumn {
  int32_t id = 0;
  int32_t lineageID = 0;
  ColumnSpec spec;
};

// The output of the source feeding an input, in its column order (which is
// also the order of the virtual input and of the input buffer type).
struct UpstreamOutput {
  std::vector<UpstreamColumn> columns;

  // Position of the column with that lineage ID, or -1.
  int32_t FindLineageID(int32_t lineageID) const;
};
using UpstreamPtr = std::shared_ptr<const UpstreamOutput>;

class VirtualInputColumn : public ComObject<IDTSVirtualInputColumn90> {
 public:
  VirtualInputColumn(const UpstreamColumn& upstream, ComPtr<InputColumnCollection> inputColumns);

  HRESULT STDMETHODCALLTYPE get_LineageID(int32_t* lineageID) override;
  HRESULT STDMETHODCALLTYPE get_Name(BSTR* name) override;
  HRESULT STDMETHODCALLTYPE get_DataType(int32_t* dataType) override;
  // The selecting input column's usage, UT_IGNORED when none selects it.
  HRESULT STDMETHODCALLTYPE get_UsageType(int32_t* usage) override;

  int32_t Id() const { return upstream_.id; }
  int32_t LineageID() const { return upstream_.lineageID; }
  std::u16string Name() const { return upstream_.spec.name; }
  // Everything the source says of the column (length, precision, scale, ...).
  const ColumnSpec& Spec() const { return upstream_.spec; }

 private:
  const UpstreamColumn upstream_;
  const ComPtr<InputColumnCollection> inputColumns_;
};

// Read-only: New, RemoveAll and RemoveObjectByID answer E_NOTIMPL.
using VirtualInputColumnCollection =
    Collection<IDTSVirtualInputColumnCollection90, IDTSVirtualInputColumn90, VirtualInputColumn>;

class VirtualInput : public ComObject<IDTSVirtualInput90> {
 public:
  // `upstream` may be null (no path attached): the virtual input is empty.
  VirtualInput(UpstreamPtr upstream, ComPtr<InputColumnCollection> inputColumns, IdSourcePtr ids);

  // UT_READONLY / UT_READWRITE: adds or refreshes the input column that
  // mirrors the upstream column; *index is its position in the virtual
  // column collection. UT_IGNORED: removes that input column (if any);
  // *index is -1. Unknown lineage ID: DTS_E_ELEMENTNOTFOUND; another usage
  // value: E_INVALIDARG; null index: E_POINTER. Nothing changes on failure.
  HRESULT STDMETHODCALLTYPE SetUsageType(int32_t lineageID, int32_t usageType, int32_t* index) override;
  HRESULT STDMETHODCALLTYPE get_VirtualInputColumnCollection(IDTSVirtualInputColumnCollection90** columns) override;

 private:
  // The collection, made on first use; null when memory runs out.
  ComPtr<VirtualInputColumnCollection> Columns();

  const UpstreamPtr upstream_;
  const ComPtr<InputColumnCollection> inputColumns_;
  const IdSourcePtr ids_;
  std::mutex mutex_;
  ComPtr<VirtualInputColumnCollection> columns_;  // GUARDED_BY(mutex_)
};

}  // namespace host
