// The library's version, as its version resource states it. Read by the
// resource compiler for tolvarine.rc (Windows) and by version_info.cc
// (elsewhere): preprocessor definitions only.
//
// The file version text (1.0.0.2) is not the numeric file version
// (1.0.0.3): both are kept as the released library states them, since an
// installer may compare either.
#pragma once

#define TOLVARINE_VERSION_NUMBERS 1, 0, 0, 3
#define TOLVARINE_NUMERIC_VERSION_TEXT "1.0.0.3"
#define TOLVARINE_FILE_VERSION_TEXT "1.0.0.2"
#define TOLVARINE_PRODUCT_VERSION_TEXT "1.0.0.3"
#define TOLVARINE_FILE_DESCRIPTION "Tolvarine Component"
#define TOLVARINE_PRODUCT_NAME "Tolvarine Component"
#define TOLVARINE_FILE_NAME "Tolvarine.dll"
