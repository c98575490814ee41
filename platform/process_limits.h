// Limits of the running process.
#pragma once

namespace plat {

// Raises the number of files the process may hold open to the most the
// system allows it (the soft limit to the hard one). False when it could not.
bool RaiseOpenFileLimit();

}  // namespace plat
