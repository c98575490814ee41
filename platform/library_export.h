// Marks a library's entry points: C linkage (their calling convention is
// STDAPICALLTYPE, written at each). On Windows the exports are named by the
// library's .def file; elsewhere the entry points are the only symbols
// visible outside the library (everything else is hidden).
#pragma once

#ifdef _WIN32
#define TOLVARINE_EXPORT extern "C"
#else
#define TOLVARINE_EXPORT extern "C" __attribute__((visibility("default")))
#endif
