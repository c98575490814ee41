// A view into a completion port for tests, which must know that their threads
// are blocked inside GetCompletion before they close the port.
#pragma once

#include <cstdint>

#include "platform/completion_port.h"

namespace plat {

// Number of threads currently inside GetCompletion. REQUIRES: port not closed.
uint32_t WaitersInside(PortHandle port);

}  // namespace plat
