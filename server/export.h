// Marks the library's entry points: C linkage, visible outside the library
// (everything else in it is hidden).
#pragma once

#define TOLVARINE_EXPORT extern "C" __attribute__((visibility("default")))
