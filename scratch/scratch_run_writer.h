// Writing a sorted run to a new scratch file one row at a time, for runs
// whose rows are produced as they are written (a merge of runs on disk).
#pragma once

#include <cstdint>

#include "platform/com_types.h"
#include "scratch/scratch_areas.h"
#include "scratch/scratch_file.h"

struct ScratchRunWriter;

// Reserves a name in the next area, opens the file and sets up the two write
// buffers. `expectedBytes`, when not 0, pre-sizes the file. E_INVALIDARG for
// rows wider than half an extent (ScratchExtentSize / 2) or of width 0, and when
// the list has no area. A failure leaves no file and no writer.
// REQUIRES: called by one thread at a time per list.
HRESULT BeginScratchRun(ScratchAreaList* list, uint32_t rowWidth, uint64_t expectedBytes,
                        ScratchRunWriter** writer);
// Appends one row of the writer's width. A failure (of an extent write) is
// returned here and by every later call; the caller then abandons the run.
HRESULT AppendScratchRow(ScratchRunWriter* writer, const uint8_t* row);
// Writes the last extent, waits for every write and hands the file over to a
// reader (its first NextScratchRow loads the first extent). The writer is
// gone on return, on failure too, and then so is the file.
HRESULT FinishScratchRun(ScratchRunWriter* writer, uint32_t* rowCount, ScratchReader** reader);
// Ends all I/O and frees the writer; the file is gone. Null is ignored.
void AbandonScratchRun(ScratchRunWriter* writer);
