// The final merge: every run, in memory and on disk, into the output buffer.
#include <algorithm>
#include <cstring>

#include "engine/sort_engine.h"
#include "platform/stream_copy.h"

namespace {

uint32_t LoadU32(const uint8_t* p) {
  uint32_t value;
  std::memcpy(&value, p, sizeof value);
  return value;
}

void StoreU32(uint8_t* p, uint32_t value) {
  std::memcpy(p, &value, sizeof value);
}

}  // namespace

// REQUIRES: SpillLock and RunListLock held, the input ended, no batch or
// merge in flight. Failures are recorded for the AddRows that ends the input;
// runs not drained stay in the lists until Destroy.
void SortEngine::FinalMerge() {
  IDTSBuffer90* output = OutputBuffer.Get();
  if (!output) {
    RecordFailure(E_UNEXPECTED);
    return;
  }
  output->Open();
  HRESULT hr = S_OK;
  HaveReferenceRow = false;
  if (EliminateDuplicates && RowWidth > 0) {
    HoldingRow = static_cast<uint8_t*>(plat::HeapAlloc(Heap, RowWidth));
    if (!HoldingRow) hr = E_OUTOFMEMORY;
  }
  if (SUCCEEDED(hr)) hr = MergeDiskRunsDown();
  if (SUCCEEDED(hr)) hr = MergeAllRuns();
  if (HoldingRow) plat::HeapFree(Heap, HoldingRow);
  HoldingRow = nullptr;
  output->Close();
  RecordFailure(hr);
}

// Repeatedly emits the smallest current row of all runs. Runs in memory are
// looked at before runs on disk, each list from the front, and a run replaces
// the best so far only when its row is strictly smaller: ties go to the run
// met first.
HRESULT SortEngine::MergeAllRuns() {
  for (SortRun* r = DiskRuns.Front(); r; r = r->Next) {
    const HRESULT hr = StartReadingRun(r);
    if (FAILED(hr)) return hr;
  }
  for (;;) {
    SortRun* best = nullptr;
    for (RunList* list : {&MemoryRuns, &DiskRuns}) {
      for (SortRun* r = list->Front(); r; r = r->Next) {
        if (!best || CompareRowKeys(*r->Cursor, *best->Cursor) < 0) best = r;
      }
    }
    if (!best) return S_OK;
    HRESULT hr = EmitRow(*best->Cursor);
    if (SUCCEEDED(hr)) hr = AdvanceRun(best);
    if (FAILED(hr)) return hr;
    if (--best->RowCount == 0) {
      if (best->Reader) {
        FinishReadingRun(best);
      } else {
        MemoryRuns.Remove(best);
      }
      DiscardRun(best);
    }
  }
}

// Sets up the reading of a run on disk and makes its first row current.
HRESULT SortEngine::StartReadingRun(SortRun* run) {
  const HRESULT hr = StartScratchRead(run->Reader);
  if (FAILED(hr)) return hr;
  PeakReadersOpen = std::max(PeakReadersOpen, ++ReadersOpen);
  return AdvanceRun(run);
}

// Takes a drained run on disk out of DiskRuns; the caller discards it, and
// so deletes its file.
void SortEngine::FinishReadingRun(SortRun* run) {
  DiskRuns.Remove(run);
  --DiskRunCount;
  --ReadersOpen;
}

// Writes `row` unless duplicates are eliminated and its key equals that of
// the last row written. The last row written is copied into HoldingRow, so
// the comparison stays sound after its run (or its scratch block) is gone.
HRESULT SortEngine::EmitRow(const uint8_t* row) {
  if (!EliminateDuplicates) return WriteOutputRow(row);
  if (HaveReferenceRow && CompareRowKeys(row, HoldingRow) == 0) return S_OK;
  const HRESULT hr = WriteOutputRow(row);
  if (FAILED(hr)) return hr;
  plat::CopyBytes(HoldingRow, row, RowWidth);
  HaveReferenceRow = true;
  return S_OK;
}

// Moves the run to its next row. RowCount is left to the caller.
HRESULT SortEngine::AdvanceRun(SortRun* run) {
  if (run->Reader) return NextScratchRow(run->Reader);
  ++run->Cursor;
  return S_OK;
}

// Adds one row to OutputBuffer and fills it column by column from the stored
// row: status, length (when both rows have a length field) and, unless NULL,
// the value. A DT_BYTES value is copied for its stored length, never more
// than either slot holds; the output length says what was copied. Other
// values fit because pre-execution made sure that every output slot is at
// least as large as its input slot and holds the same type.
HRESULT SortEngine::WriteOutputRow(const uint8_t* row) {
  uint8_t* out = nullptr;
  HRESULT hr = OutputBuffer->AddRow(&out);
  if (FAILED(hr)) return hr;
  if (!out) return E_POINTER;
  for (const SortColumn& column : Columns) {
    const BufferColumnInfo& target = column.OutputColumn;
    const uint32_t status = LoadU32(row + column.InputStatusOffset);
    StoreU32(out + target.StatusOffset, status);
    const bool hasLength =
        column.InputLengthOffset != kNoLengthField && target.LengthOffset != kNoLengthField;
    uint32_t length = hasLength ? LoadU32(row + column.InputLengthOffset) : column.InputMaxLength;
    if (!column.Copy) length = std::min({length, column.InputMaxLength, target.MaxLength});
    if (hasLength) StoreU32(out + target.LengthOffset, length);
    if (status == DBSTATUS_S_ISNULL) continue;
    if (column.Copy) {
      column.Copy(out + target.DataOffset, row + column.InputDataOffset);
    } else {
      plat::CopyBytes(out + target.DataOffset, row + column.InputDataOffset, length);
    }
  }
  return S_OK;
}
