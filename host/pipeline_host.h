// An in-process pipeline host: the objects a data-flow component calls, and
// a runner that drives a component through its interfaces.
//
// Object model (every class is a real COM object of namespace host, with an
// atomic reference count, answering QueryInterface for IUnknown and its own
// interface of interfaces/pipeline_interfaces.h):
//
//   ComponentMetaData                       component_metadata.h
//     InputCollection -> Input              input.h
//       InputColumnCollection -> InputColumn          input_column.h
//         CustomPropertyCollection -> CustomProperty  custom_property.h
//       GetVirtualInput() -> VirtualInput              virtual_input.h
//         VirtualInputColumnCollection -> VirtualInputColumn
//     OutputCollection -> Output            output.h
//       OutputColumnCollection -> OutputColumn        output_column.h
//         CustomPropertyCollection -> CustomProperty
//     CustomPropertyCollection -> CustomProperty
//   BufferManager: buffer types and layouts           buffer_manager.h, buffer_layout.h
//   PipelineBuffer: input and output buffers          pipeline_buffer.h
//
// All collections share one template (collection.h): items by VT_I4
// position or VT_BSTR name, by ID, New, RemoveAll, RemoveObjectByID;
// anything that does not exist answers DTS_E_ELEMENTNOTFOUND (0xC0010009),
// an index of another VARIANT type E_INVALIDARG. Every ID, and the lineage
// ID of every new column, comes from one counter per pipeline (IdSource).
// Parents own their children; no child holds its parent, so releasing the
// metadata frees the whole tree. Besides its interface, each class offers
// the host a direct C++ API (Inputs(), Columns(), Properties(), At(i),
// FindByName, ...) that tests and tools use to build and inspect metadata.
//
// Upstream columns and the virtual input: a Pipeline describes the source
// feeding the component by ColumnSpecs (column_spec.h: name, data type,
// length, precision, scale, code page, ...). Once attached to an input,
// its virtual input lists those columns; SetUsageType(lineageID,
// UT_READONLY or UT_READWRITE) adds an input column mirroring one of them
// (same lineage ID and attributes, an ID of its own), UT_IGNORED removes it.
//
// Buffers: at execution the host lays out one buffer type per input (all
// upstream columns, in upstream order: the rows the source produces) and
// one per output (its columns); by default the two use different orders
// (buffer_layout.h), so a component must translate through the buffer
// manager. FindColumnByLineageID and GetColumnInfo describe each column
// (value, status and length offsets). Input buffers come from a RowSource;
// the one output buffer hands each full block to a RowSink and goes on, so
// a component may add any number of rows (pipeline_buffer.h). row_values.h
// writes and reads typed values, NULLs and lengths at a column's offsets.
//
// Building a pipeline (e.g. in a test):
//
//   host::Pipeline pipeline;
//   pipeline.SetUpstream({{.name = u"id", .dataType = DT_I4},
//                         {.name = u"name", .dataType = DT_WSTR, .length = 20}});
//   // Design time by hand: make an input and attach the source to it.
//   auto input = pipeline.Metadata()->Inputs()->AddNew();
//   pipeline.AttachUpstream();
//   int32_t index;
//   input->MakeVirtualInput()->SetUsageType(pipeline.UpstreamLineageID(0), UT_READONLY, &index);
//   ... outputs, custom properties ...
//   pipeline.PrepareBufferTypes();   // input->BufferType() and outputs' now set
//
// Running a component (pipeline_runner.h): give the runner the component's
// IUnknown, choose columns and settings, a source and a sink:
//
//   host::PipelineRunner runner(component, pipeline);
//   host::CallbackSource source(rows, [](uint64_t i, uint8_t* row, const host::BufferLayout& l) {
//     host::WriteValue(row, l.Column(0), int32_t(i));
//   });
//   host::CollectingSink sink;
//   host::RunResult result = runner.Run({{.upstreamIndex = 0, .sortKeyPosition = 1}},
//                                       {{u"EliminateDuplicates", true}}, source, sink);
//
// Threads: every object is thread-safe, except that an output buffer's
// AddRow side takes its calls from one thread at a time (pipeline_buffer.h).
// The runner calls ProcessInput on a source thread of its own; the sink
// consumes full output blocks on a thread of the output buffer's own, and
// the last block on the thread that ends the rowset.
#pragma once

#include "host/buffer_layout.h"
#include "host/buffer_manager.h"
#include "host/column_spec.h"
#include "host/component_metadata.h"
#include "host/custom_property.h"
#include "host/input.h"
#include "host/input_column.h"
#include "host/output.h"
#include "host/output_column.h"
#include "host/pipeline.h"
#include "host/pipeline_buffer.h"
#include "host/pipeline_runner.h"
#include "host/row_streams.h"
#include "host/row_values.h"
#include "host/virtual_input.h"
