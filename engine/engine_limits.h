// Limits and fixed tunings of the sort engine.
#pragma once

#include <cstdint>

#include "scratch/scratch_file.h"

constexpr uint32_t kMaxThreadCount = 128;
// A scratch extent must hold the rest of a row that straddles two extents
// plus at least one whole row, so no row may be wider than half an extent.
constexpr uint32_t kMaxRowWidth = ScratchExtentSize / 2;
// A batch's byte count, like every run's, is a 32-bit number.
constexpr uint64_t kMaxBatchBytes = 0xFFFFFFFFu;
// How often idle engine threads look at StopRequested: the fallback that ends
// them when a Stop item or a wake cannot be delivered.
constexpr uint32_t kStopPollMs = 250;
// How long a spill that waits for batches being sorted or merged sleeps
// between looks; the worker that finishes one wakes it earlier.
constexpr uint32_t kPendingWorkWaitMs = 50;
