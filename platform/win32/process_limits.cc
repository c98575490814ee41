#include "platform/process_limits.h"

namespace plat {

// Windows has no per-process limit on kernel handles to raise: a process may
// hold millions. The C runtime's limit on its own descriptors
// (_setmaxstdio) does not apply, since the files are opened as HANDLEs.
bool RaiseOpenFileLimit() {
  return true;
}

}  // namespace plat
