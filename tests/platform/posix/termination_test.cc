#include "platform/termination.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

namespace {

namespace fs = std::filesystem;

// Each signal ends a child process with 128 + the signal and removes the file
// it registered, and only that file.
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
