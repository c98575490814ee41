#include "platform/termination.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

namespace plat {
namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The handler may run on any thread, while another one registers a name:
// it reads the name only while the flag says it is complete.
char g_path[4096];
std::atomic<bool> g_armed{false};
static_assert(std::atomic<bool>::is_always_lock_free);

void OnTermination(int signal) {
  if (g_armed.load()) unlink(g_path);
  _exit(128 + signal);
}

}  // namespace

bool HandleTerminationSignals() {
  struct sigaction action {};
  action.sa_handler = OnTermination;
  sigemptyset(&action.sa_mask);
  for (int signal : kSignals) sigaddset(&action.sa_mask, signal);
  for (int signal : kSignals) {
    if (sigaction(signal, &action, nullptr) != 0) return false;
  }
  return true;
}

bool RemoveOnTermination(const char* path) {
  g_armed.store(false);
  if (path == nullptr) return true;
  const size_t length = std::strlen(path);
  if (length >= sizeof(g_path)) return false;
  std::memcpy(g_path, path, length + 1);
  g_armed.store(true);
  return true;
}

}  // namespace plat
