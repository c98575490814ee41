#include "host/com_object.h"

namespace host {
namespace {
std::atomic<int64_t> g_liveObjects{0};
}  // namespace

int64_t LiveObjectCount() {
  return g_liveObjects.load(std::memory_order_acquire);
}

namespace internal {
void CountObject(int delta) {
  g_liveObjects.fetch_add(delta, std::memory_order_acq_rel);
}
}  // namespace internal

}  // namespace host
