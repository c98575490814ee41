// Marks the library's entry points: C linkage and COM's calling convention
// for them, STDAPICALLTYPE (stdcall on 32-bit Windows). On Windows the
// exports are named by tolvarine.def.in; elsewhere the entry points are the
// only symbols visible outside the library (everything else is hidden).
#pragma once

#ifdef _WIN32
#define TOLVARINE_EXPORT extern "C"
#else
#define TOLVARINE_EXPORT extern "C" __attribute__((visibility("default")))
#endif
