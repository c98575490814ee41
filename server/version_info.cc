// The library's version resource. The Windows build carries it as a real
// resource (tolvarine.rc) and leaves this file out; here the same fields
// are kept as text in a section of their own, so that they can be read
// from the file (e.g. with strings(1)).
#include "server/version.h"

[[gnu::used, gnu::section(".tolvarine_version")]] static const char kVersionInfo[] =
    "FileDescription=" TOLVARINE_FILE_DESCRIPTION
    "\0"
    "FileVersion=" TOLVARINE_FILE_VERSION_TEXT
    "\0"
    "ProductVersion=" TOLVARINE_PRODUCT_VERSION_TEXT
    "\0"
    "NumericFileVersion=" TOLVARINE_NUMERIC_VERSION_TEXT
    "\0"
    "InternalName=" TOLVARINE_FILE_NAME
    "\0"
    "OriginalFilename=" TOLVARINE_FILE_NAME
    "\0"
    "ProductName=" TOLVARINE_PRODUCT_NAME "\0";
