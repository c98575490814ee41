// The POSIX backend's own rules: errno as Win32 numbers, the collation locale, port close, VARIANT
// refusals and termination signals.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/bstr.h"
#include "platform/com_types.h"
#include "platform/completion_port.h"
#include "platform/posix/port_waiters.h"
#include "platform/posix/system_locale.h"
#include "platform/termination.h"
#include "platform/thread.h"
#include "platform/variant.h"

namespace plat {
namespace {

namespace fs = std::filesystem;

TEST(LastError, ErrnoNeverMapsToSuccess) {
  for (int err = -1; err < 200; ++err) EXPECT_NE(Win32ErrorFromErrno(err), 0u) << err;
  EXPECT_EQ(SetLastErrorFromErrno(ENOSPC), ERROR_DISK_FULL);
  EXPECT_EQ(GetLastError(), ERROR_DISK_FULL);
}

TEST(SystemLocale, TakesTheFirstSetVariableWithoutCodeset) {
  EXPECT_EQ(plat::CollationLocaleName("de_DE.UTF-8", "fr_FR", "sv_SE"), "de_DE");
  EXPECT_EQ(plat::CollationLocaleName("", "fr_FR@euro", nullptr), "fr_FR");
  EXPECT_EQ(plat::CollationLocaleName("C.UTF-8", "fr_FR", nullptr), "en_US");
}

// Closing a port wakes its blocked waiters here (Wine's ports keep them asleep: nothing relies on
// it).
TEST(CompletionPort, CloseWakesEveryBlockedWaiterWithAFailure) {
  PortHandle port = CreateCompletionPort(3);
  PostCompletion(port, 0, 6, nullptr);  // Taken by one waiter, which then waits again.
  std::atomic<int> abandoned{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 4; ++i) {
    waiters.emplace_back([&] {
      uintptr_t k;
      while (GetCompletion(port, nullptr, &k, nullptr)) {
      }
      if (GetLastError() == ERROR_ABANDONED_WAIT_0) ++abandoned;
    });
  }
  while (WaitersInside(port) < 4) std::this_thread::yield();
  CloseCompletionPort(port);
  for (auto& waiter : waiters) waiter.join();
  EXPECT_EQ(abandoned, 4);
}

// Our VARIANT refuses what it cannot hold (Windows' holds them all), leaving the destination.
TEST(Variant, RefusesUnsupportedTypesLeavingTheDestination) {
  Variant source = Variant::Str(SysAllocString(u"scratch"));
  Variant copy;
  ASSERT_EQ(VariantCopy(&copy.Ref(), &source.Get()), S_OK);
  int32_t referenced = 5;
  for (VARTYPE refused : {VARTYPE(VT_BYREF | VT_I4), VARTYPE(VT_ARRAY | VT_I4), VARTYPE(99)}) {
    VARIANT bad;
    VariantInit(&bad);
    bad.vt = refused;
    bad.llVal = reinterpret_cast<intptr_t>(&referenced);
    EXPECT_EQ(VariantCopy(&copy.Ref(), &bad), DISP_E_BADVARTYPE) << refused;
    EXPECT_EQ(VariantClear(&bad), DISP_E_BADVARTYPE) << refused;
  }
  EXPECT_EQ(BstrView(copy.Get().bstrVal), u"scratch");  // Left as it was.
}

// Each signal ends the process with 128 + the signal, removing the registered file and only it.
TEST(TerminationTest, ASignalRemovesTheRegisteredFileAndExitsWithItsNumber) {
  const fs::path dir = fs::temp_directory_path() / ("termination-" + std::to_string(getpid()));
  fs::create_directories(dir);
  const std::string kept = (dir / "kept").string(), removed = (dir / "removed").string();
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(open(kept.c_str(), O_WRONLY | O_CREAT, 0600));
      close(open(removed.c_str(), O_WRONLY | O_CREAT, 0600));
      if (!plat::HandleTerminationSignals()) _exit(1);
      plat::RemoveOnTermination(kept.c_str());
      plat::RemoveOnTermination(removed.c_str());
      raise(signal);
      _exit(2);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 128 + signal);
    EXPECT_TRUE(fs::exists(kept));
    EXPECT_FALSE(fs::exists(removed));
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace plat
