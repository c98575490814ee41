#include "tests/support/wine.h"

namespace testsupport {

bool RunningOnWine() {
  return false;
}

}  // namespace testsupport
