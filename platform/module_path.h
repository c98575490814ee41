// Paths of modules as the system writes them: Windows takes '\' and '/' as
// separators and has drive roots ("C:\"); elsewhere only '/' separates.
#pragma once

#include <string>
#include <string_view>

namespace plat {

#ifdef _WIN32
inline constexpr std::u16string_view kPathSeparators = u"\\/";
#else
inline constexpr std::u16string_view kPathSeparators = u"/";
#endif

// The platform key a type library's file is registered under, as in
// TypeLib\{id}\<version>\0\<platform>: a 64-bit Windows module's is
// "win64"; 32-bit Windows and our own registry use "win32".
#ifdef _WIN64
inline constexpr char16_t kTypeLibraryPlatform[] = u"win64";
#else
inline constexpr char16_t kTypeLibraryPlatform[] = u"win32";
#endif

// The directory part of `path`, without a trailing separator except for a
// root ("/", "C:\"); "." when the path has no directory part.
std::u16string DirectoryOf(std::u16string_view path);

// The directory of the library (or program) whose code holds `address`,
// ending in its path separator, for a server library that lies beside it.
// False on failure (last error set).
bool ModuleDirectory(const void* address, std::u16string* directory);

}  // namespace plat
