// The pipeline host's object model as the component sees it: component
// metadata, collections, inputs, outputs, columns, the virtual input, custom
// properties, the buffer manager and pipeline buffers.
//
// All are COM interfaces: every operation returns an HRESULT, a negative one
// is a failure, out-arguments that are interfaces carry a reference the
// caller releases, BSTR out-arguments are freed by the caller, and BSTR or
// VARIANT in-arguments stay owned by the caller. A named or numbered item
// that does not exist answers DTS_E_ELEMENTNOTFOUND (0xC0010009).
#pragma once

#include <cstdint>

#include "interfaces/pipeline_types.h"
#include "platform/com.h"

constexpr IID IID_IDTSComponentMetaData90 = {0xFE4F5263, 0x11D5, 0x4724, {0x95, 0xBA, 0xA9, 0x78, 0x98, 0x3B, 0x63, 0x69}};
constexpr IID IID_IDTSInputCollection90 = {0xDDC012F8, 0xA786, 0x4584, {0x85, 0x6D, 0x04, 0x4B, 0xC1, 0xF4, 0x94, 0x14}};
constexpr IID IID_IDTSInput90 = {0xDE2BA9C8, 0xCF2E, 0x41DF, {0x8B, 0x64, 0x44, 0x1C, 0x51, 0x6B, 0x64, 0xAE}};
constexpr IID IID_IDTSOutputCollection90 = {0xBC322BD5, 0x6359, 0x47D4, {0x99, 0x26, 0x36, 0x3F, 0xE6, 0xA1, 0x10, 0x24}};
constexpr IID IID_IDTSOutput90 = {0xA222643E, 0x744A, 0x46F8, {0x85, 0xFE, 0x02, 0x88, 0x3E, 0xC5, 0xC2, 0xE3}};
constexpr IID IID_IDTSInputColumnCollection90 = {0x775D096D, 0x0F0F, 0x45FA, {0x8E, 0xE1, 0x4C, 0x1F, 0xD1, 0x94, 0x91, 0x0B}};
constexpr IID IID_IDTSInputColumn90 = {0xDBFD22D6, 0x5229, 0x407D, {0xA4, 0x07, 0xE1, 0x5D, 0x7F, 0xF3, 0x52, 0x53}};
constexpr IID IID_IDTSOutputColumnCollection90 = {0xBA04A117, 0x26C3, 0x4C87, {0xA3, 0xBA, 0xF3, 0xD7, 0xA1, 0xD8, 0xC4, 0xFE}};
constexpr IID IID_IDTSOutputColumn90 = {0xF78A830F, 0xE6D0, 0x4F70, {0xBC, 0x4D, 0xB2, 0x9B, 0x67, 0x13, 0x96, 0x1F}};
constexpr IID IID_IDTSVirtualInput90 = {0xC97816B5, 0xB7B9, 0x415A, {0xAC, 0x71, 0x7A, 0x40, 0xFB, 0xD6, 0x64, 0x81}};
constexpr IID IID_IDTSVirtualInputColumnCollection90 = {0xAFCE6DFE, 0xB614, 0x4EA5, {0x95, 0xE0, 0x95, 0x7E, 0x81, 0xF2, 0x76, 0xF3}};
constexpr IID IID_IDTSVirtualInputColumn90 = {0x3406B7AE, 0x3459, 0x46E5, {0xA5, 0xEB, 0x2F, 0xC4, 0x4F, 0x6E, 0x57, 0xA5}};
constexpr IID IID_IDTSCustomPropertyCollection90 = {0x1374D0DA, 0x2A4B, 0x4B2D, {0x98, 0xBE, 0x08, 0x63, 0xFA, 0x62, 0x56, 0x85}};
constexpr IID IID_IDTSCustomProperty90 = {0x637BE33B, 0x22B9, 0x40D0, {0x84, 0x91, 0x39, 0x85, 0xB1, 0x4E, 0x93, 0xE7}};
constexpr IID IID_IDTSBufferManager90 = {0x8686CA22, 0x5A76, 0x41B1, {0xA7, 0x43, 0x2D, 0x65, 0xAC, 0x9B, 0xFD, 0x2B}};
constexpr IID IID_IDTSBuffer90 = {0x05EC9F85, 0xFCC0, 0x4749, {0xBB, 0x13, 0x17, 0xA0, 0x00, 0x6A, 0x6B, 0xD3}};

struct IDTSInput90;
struct IDTSVirtualInput90;
struct IDTSOutput90;
struct IDTSInputColumn90;
struct IDTSOutputColumn90;
struct IDTSVirtualInputColumn90;
struct IDTSCustomProperty90;

// The operations every collection offers. Items are numbered from 0 in
// collection order; `index` is a VT_I4 position or, for collections whose
// items have names (custom properties), a VT_BSTR name. New appends an item
// with a fresh ID (and lineage ID, for columns) and hands it back.
template <class Item>
struct IDTSCollection : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_Count(int32_t* count) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Item(VARIANT index, Item** item) = 0;
  virtual HRESULT STDMETHODCALLTYPE New(Item** item) = 0;
  virtual HRESULT STDMETHODCALLTYPE RemoveAll() = 0;
  virtual HRESULT STDMETHODCALLTYPE RemoveObjectByID(int32_t id) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetObjectByID(int32_t id, Item** item) = 0;

 protected:
  ~IDTSCollection() = default;
};

struct IDTSCustomPropertyCollection90 : IDTSCollection<IDTSCustomProperty90> {};
struct IDTSInputCollection90 : IDTSCollection<IDTSInput90> {};
struct IDTSOutputCollection90 : IDTSCollection<IDTSOutput90> {};
struct IDTSOutputColumnCollection90 : IDTSCollection<IDTSOutputColumn90> {};
struct IDTSVirtualInputColumnCollection90 : IDTSCollection<IDTSVirtualInputColumn90> {};
struct IDTSInputColumnCollection90 : IDTSCollection<IDTSInputColumn90> {
  virtual HRESULT STDMETHODCALLTYPE GetInputColumnByLineageID(int32_t lineageID, IDTSInputColumn90** column) = 0;
};

struct IDTSCustomProperty90 : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_ID(int32_t* id) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Name(BSTR* name) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Name(BSTR name) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Description(BSTR* description) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Description(BSTR description) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Value(VARIANT* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Value(VARIANT value) = 0;
};

struct IDTSComponentMetaData90 : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_InputCollection(IDTSInputCollection90** inputs) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_OutputCollection(IDTSOutputCollection90** outputs) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_CustomPropertyCollection(IDTSCustomPropertyCollection90** properties) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Description(BSTR* description) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Description(BSTR description) = 0;
  // The component's metadata version; the design-time interface forwards
  // its one-argument upgrade request here.
  virtual HRESULT STDMETHODCALLTYPE get_Version(int32_t* version) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Version(int32_t version) = 0;
};

struct IDTSInput90 : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_ID(int32_t* id) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Name(BSTR* name) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Name(BSTR name) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Description(BSTR* description) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Description(BSTR description) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_InputColumnCollection(IDTSInputColumnCollection90** columns) = 0;
  // Handle of the buffer type that carries this input's rows.
  virtual HRESULT STDMETHODCALLTYPE get_Buffer(int32_t* bufferType) = 0;
  // The upstream columns this input may select from.
  virtual HRESULT STDMETHODCALLTYPE GetVirtualInput(IDTSVirtualInput90** virtualInput) = 0;
};

struct IDTSOutput90 : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_ID(int32_t* id) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Name(BSTR* name) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Name(BSTR name) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Description(BSTR* description) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Description(BSTR description) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_OutputColumnCollection(IDTSOutputColumnCollection90** columns) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Buffer(int32_t* bufferType) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_IsSorted(VARIANT_BOOL* sorted) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_IsSorted(VARIANT_BOOL sorted) = 0;
  // 0: asynchronous (the output has buffers of its own); otherwise the ID of
  // the input whose buffers it shares.
  virtual HRESULT STDMETHODCALLTYPE get_SynchronousInputID(int32_t* inputID) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_SynchronousInputID(int32_t inputID) = 0;
};

struct IDTSInputColumn90 : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_ID(int32_t* id) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_LineageID(int32_t* lineageID) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Name(BSTR* name) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Description(BSTR* description) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_DataType(int32_t* dataType) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Length(int32_t* length) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Precision(int32_t* precision) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Scale(int32_t* scale) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_CodePage(int32_t* codePage) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_SortKeyPosition(int32_t* position) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ComparisonFlags(int32_t* flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_UsageType(int32_t* usage) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_CustomPropertyCollection(IDTSCustomPropertyCollection90** properties) = 0;
};

struct IDTSOutputColumn90 : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_ID(int32_t* id) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_LineageID(int32_t* lineageID) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Name(BSTR* name) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Name(BSTR name) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Description(BSTR* description) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Description(BSTR description) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_SortKeyPosition(int32_t* position) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_SortKeyPosition(int32_t position) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ComparisonFlags(int32_t* flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_ComparisonFlags(int32_t flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_DataType(int32_t* dataType) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Length(int32_t* length) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Precision(int32_t* precision) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Scale(int32_t* scale) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_CodePage(int32_t* codePage) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetDataTypeProperties(int32_t dataType, int32_t length, int32_t precision,
                                        int32_t scale, int32_t codePage) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_CustomPropertyCollection(IDTSCustomPropertyCollection90** properties) = 0;
};

struct IDTSVirtualInputColumn90 : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_LineageID(int32_t* lineageID) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Name(BSTR* name) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_DataType(int32_t* dataType) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_UsageType(int32_t* usage) = 0;
};

struct IDTSVirtualInput90 : IUnknown {
  // Selects (UT_READONLY, UT_READWRITE) or deselects (UT_IGNORED) the
  // upstream column. *index: the column's position in the virtual input
  // column collection when it is now part of the input, negative when it has
  // been taken out.
  virtual HRESULT STDMETHODCALLTYPE SetUsageType(int32_t lineageID, int32_t usageType, int32_t* index) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_VirtualInputColumnCollection(IDTSVirtualInputColumnCollection90** columns) = 0;
};

struct IDTSBufferManager90 : IUnknown {
  // Index of the column with the lineage ID within the buffer type.
  virtual HRESULT STDMETHODCALLTYPE FindColumnByLineageID(int32_t bufferType, int32_t lineageID,
                                        int32_t* columnIndex) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetColumnInfo(int32_t bufferType, int32_t columnIndex,
                                BufferColumnInfo* info) = 0;
  // Bytes of one row of the buffer type, every column of it counted.
  virtual HRESULT STDMETHODCALLTYPE GetRowWidth(int32_t bufferType, uint32_t* rowWidth) = 0;
};

struct IDTSBuffer90 : IUnknown {
  // Called around every use of the buffer.
  virtual HRESULT STDMETHODCALLTYPE Open() = 0;
  virtual HRESULT STDMETHODCALLTYPE Close() = 0;
  virtual HRESULT STDMETHODCALLTYPE get_EndOfRowset(VARIANT_BOOL* endOfRowset) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_RowCount(uint32_t* rowCount) = 0;
  // Row `row`'s address and the row width; rows are contiguous at that width.
  virtual HRESULT STDMETHODCALLTYPE GetRowData(int32_t row, uint32_t* rowWidth, uint8_t** rowData) = 0;
  // Appends a row (status of every column 0, values zeroed) and gives its
  // address, valid until the next AddRow or SetEndOfRowset.
  virtual HRESULT STDMETHODCALLTYPE AddRow(uint8_t** rowData) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetEndOfRowset() = 0;
};
