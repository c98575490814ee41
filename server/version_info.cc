// The library's version resource. The Windows build takes it from
// tolvarine.rc; here the same fields are kept as text in a section of their
// own, so that they can be read from the file (e.g. with strings(1)).

[[gnu::used, gnu::section(".tolvarine_version")]] static const char kVersionInfo[] =
    "FileDescription=Tolvarine Component\0"
    "FileVersion=1.0.0.2\0"
    "ProductVersion=1.0.0.3\0"
    "NumericFileVersion=1.0.0.3\0"
    "InternalName=Tolvarine.dll\0"
    "OriginalFilename=Tolvarine.dll\0"
    "ProductName=Tolvarine Component\0";
