// Ending the process on the console's requests to stop, without leaving the
// registered file behind. Windows delivers them to a handler that the
// system runs on a thread of its own, so the handler may call anything; it
// removes the file and ends the process with the status a POSIX shell would
// show for the matching signal:
//   Ctrl+C, Ctrl+Break       130 (128 + SIGINT): the user interrupted it;
//   the console window closed 129 (128 + SIGHUP): its terminal went away;
//   log-off, shut-down        143 (128 + SIGTERM): the system ends it.
// Scripts then see the same status on both systems.
#include "platform/termination.h"

#include <atomic>
#include <iterator>

#include "platform/com_types.h"

namespace plat {
namespace {

// The handler may run while another thread registers a name: it reads the
// name only while the flag says it is complete.
wchar_t g_path[32768];  // The longest path the W functions take.
std::atomic<bool> g_armed{false};
static_assert(std::atomic<bool>::is_always_lock_free);

UINT ExitStatus(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      return 128 + 2;
    case CTRL_CLOSE_EVENT:
      return 128 + 1;
    default:
      return 128 + 15;
  }
}

BOOL WINAPI OnTermination(DWORD event) {
  if (g_armed.load()) ::DeleteFileW(g_path);
  ::ExitProcess(ExitStatus(event));
  return TRUE;
}

}  // namespace

bool HandleTerminationSignals() {
  return ::SetConsoleCtrlHandler(OnTermination, TRUE);
}

bool RemoveOnTermination(const char* path) {
  g_armed.store(false);
  if (path == nullptr) return true;
  // UTF-8 to UTF-16 here rather than in the handler, so that the handler
  // needs no memory.
  const int length = ::MultiByteToWideChar(CP_UTF8, 0, path, -1, g_path, std::size(g_path));
  if (length == 0) return false;
  g_armed.store(true);
  return true;
}

}  // namespace plat
