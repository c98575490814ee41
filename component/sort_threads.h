// How the SortThreads property becomes the engine's number of sorting
// threads.
#pragma once

#include <cstdint>

// A value in 1..128 is taken as it is; anything else means one thread per
// processor, within the engine's 1..128.
uint32_t SortThreadCount(int32_t requested);
