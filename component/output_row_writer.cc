#include "component/output_row_writer.h"

#include <algorithm>
#include <cstring>

#include "keys/value_functions.h"
#include "platform/stream_copy.h"

namespace {

using keys::Load;
using keys::Store;

bool SameLayout(const SortColumn& column) {
  const BufferColumnInfo& target = column.OutputColumn;
  return target.StatusOffset == column.InputStatusOffset &&
         target.LengthOffset == column.InputLengthOffset &&
         target.DataOffset == column.InputDataOffset && target.MaxLength == column.InputMaxLength;
}

}  // namespace

void OutputRowWriter::Prepare(const std::vector<SortColumn>& columns, uint32_t inputRowWidth,
                              uint32_t outputRowWidth) {
  columns_ = columns;
  rowsPut_ = 0;
  clampedColumns_.clear();
  gaps_.clear();
  wholeRows_ =
      inputRowWidth == outputRowWidth && std::all_of(columns_.begin(), columns_.end(), SameLayout);
  if (!wholeRows_) return;
  rowWidth_ = outputRowWidth;

  // The fields of the row's columns, in row order, to find what lies between.
  struct Field {
    uint64_t begin, end;
  };
  std::vector<Field> fields;
  for (const SortColumn& column : columns_) {
    const BufferColumnInfo& target = column.OutputColumn;
    fields.push_back({target.StatusOffset, uint64_t{target.StatusOffset} + 4});
    fields.push_back({target.DataOffset, uint64_t{target.DataOffset} + target.MaxLength});
    if (target.LengthOffset == kNoLengthField) continue;
    fields.push_back({target.LengthOffset, uint64_t{target.LengthOffset} + 4});
    if (!column.Copy) clampedColumns_.push_back(column);
  }
  std::sort(fields.begin(), fields.end(),
            [](const Field& a, const Field& b) { return a.begin < b.begin; });
  uint64_t covered = 0;
  for (const Field& field : fields) {
    if (field.begin > covered) {
      gaps_.push_back(
          {static_cast<uint32_t>(covered), static_cast<uint32_t>(field.begin - covered)});
    }
    covered = std::max(covered, field.end);
  }
  // The corrections of a whole row write into its fields: fields that do
  // not lie within the row leave it to the column-wise copy.
  if (covered > rowWidth_) {
    wholeRows_ = false;
    return;
  }
  if (covered < rowWidth_) {
    gaps_.push_back({static_cast<uint32_t>(covered), static_cast<uint32_t>(rowWidth_ - covered)});
  }
}

HRESULT OutputRowWriter::EndRowset() {
  if (!buffer_) return E_UNEXPECTED;
  const HRESULT hr = buffer_->SetEndOfRowset();
  buffer_.Reset();
  return hr;
}

HRESULT OutputRowWriter::BeginRows() {
  if (!buffer_) return E_UNEXPECTED;
  const HRESULT hr = buffer_->Open();
  open_ = SUCCEEDED(hr);
  return hr;
}

HRESULT OutputRowWriter::PutRow(const uint8_t* row) {
  uint8_t* out = nullptr;
  const HRESULT hr = buffer_->AddRow(&out);
  if (FAILED(hr)) return hr;
  if (!out) return E_POINTER;
  if (wholeRows_) {
    WriteWholeRow(row, out);
  } else {
    WriteColumns(row, out);
  }
  rowsPut_.store(rowsPut_.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
  return S_OK;
}

void OutputRowWriter::EndRows() {
  if (open_) buffer_->Close();
  open_ = false;
}

void OutputRowWriter::WriteColumns(const uint8_t* row, uint8_t* out) const {
  for (const SortColumn& column : columns_) {
    const BufferColumnInfo& target = column.OutputColumn;
    const uint32_t status = Load<uint32_t>(row + column.InputStatusOffset);
    Store<uint32_t>(out + target.StatusOffset, status);
    const bool hasLength =
        column.InputLengthOffset != kNoLengthField && target.LengthOffset != kNoLengthField;
    uint32_t length =
        hasLength ? Load<uint32_t>(row + column.InputLengthOffset) : column.InputMaxLength;
    if (!column.Copy) length = std::min({length, column.InputMaxLength, target.MaxLength});
    if (hasLength) Store<uint32_t>(out + target.LengthOffset, length);
    if (status == DBSTATUS_S_ISNULL) continue;
    if (column.Copy) {
      column.Copy(out + target.DataOffset, row + column.InputDataOffset);
    } else {
      plat::CopyBytes(out + target.DataOffset, row + column.InputDataOffset, length);
    }
  }
}

// The row has the output's layout, so only what the column-wise copy would
// not have copied as it is needs correcting: bytes that belong to no column
// are zeroed, as AddRow left them, and a stored DT_BYTES length larger than its
// slot (the row holds no more) is clamped, NULL or not.
void OutputRowWriter::WriteWholeRow(const uint8_t* row, uint8_t* out) const {
  plat::CopyBytes(out, row, rowWidth_);
  for (const Gap& gap : gaps_) std::memset(out + gap.offset, 0, gap.bytes);
  for (const SortColumn& column : clampedColumns_) {
    const uint32_t lengthOffset = column.OutputColumn.LengthOffset;
    if (Load<uint32_t>(out + lengthOffset) > column.InputMaxLength) {
      Store<uint32_t>(out + lengthOffset, column.InputMaxLength);
    }
  }
}
