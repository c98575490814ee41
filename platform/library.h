// Loading shared libraries in the manner of LoadLibraryW / GetProcAddress /
// FreeLibrary, and the file path of the library that holds a given address
// (GetModuleFileNameW of the module's own handle).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/com_types.h"

namespace plat {

struct LibraryObject;
using LibraryHandle = LibraryObject*;

// Loads (or adds a reference to an already loaded) library. Its symbols stay
// private to it. Null on failure: last error ERROR_MOD_NOT_FOUND, or on
// Windows the loader's own reason (e.g. ERROR_BAD_EXE_FORMAT).
LibraryHandle LoadLibrary(const std::u16string& path);
// The address of an exported symbol. Null when absent (ERROR_PROC_NOT_FOUND).
void* GetProcAddress(LibraryHandle library, const char* name);
// Gives back one reference; the library is unmapped with the last one.
// Null is ignored.
bool FreeLibrary(LibraryHandle library);
// True while the library at `path` (as it was loaded) is mapped in the
// process. Loads nothing.
bool IsLibraryLoaded(const std::u16string& path);

// The full path of the library (or program) whose code or data holds
// `address`, as it was loaded; relative load paths are made absolute. On
// Windows the path is in its ordinary form even when the library was loaded
// through a \\?\ path (\\?\C:\x gives C:\x, \\?\UNC\s\x gives \\s\x). False
// on failure (last error set).
bool GetModuleFileName(const void* address, std::u16string* path);

}  // namespace plat
