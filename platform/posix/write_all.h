// Writing every byte to a descriptor, for the files of platform/posix.
#pragma once

#include <cstddef>

namespace plat {

// Writes all `bytes`, going on after short writes and interrupted calls.
// False with *error (and errno) set to the failure; a write that takes no
// byte at all counts as a full disk (ENOSPC).
bool WriteAll(int fd, const void* data, size_t bytes, int* error);

}  // namespace plat
