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

#ifdef _WIN32
// The data of the resource of numeric type `type` (RT_STRING, RT_VERSION
// ...) and numeric name `id` in the module whose code or data holds
// `address`, in the language the system's resource loader chooses. The data
// stays valid while the module is loaded. False when there is none (last
// error ERROR_RESOURCE_DATA_NOT_FOUND for a module without resources,
// ERROR_RESOURCE_TYPE_NOT_FOUND, ERROR_RESOURCE_NAME_NOT_FOUND).
// Libraries on the other platforms carry no resources.
bool FindModuleResource(const void* address, uint16_t type, uint16_t id, const void** data,
                        size_t* size);
#endif

}  // namespace plat
