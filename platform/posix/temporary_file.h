// Temporary files beside a destination, for platform/output_file.h.
#pragma once

#include <string>

namespace plat {

// A short random name in `directory` for a file that does not exist yet.
std::string TemporaryName(const std::string& directory);

// Creates a file in `directory` for reading and writing, readable by its owner only:
// unnamed (O_TMPFILE) where the file system allows it, *name left empty;
// otherwise under a new name in *name, registered for removal on a
// terminating signal. The descriptor, or -1 with errno set.
int CreateTemporaryFile(const std::string& directory, std::string* name);

// Removes a named temporary file and its registration; nothing for an
// empty name.
void RemoveTemporaryFile(std::string* name);

}  // namespace plat
