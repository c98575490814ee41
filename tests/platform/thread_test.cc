#include "platform/thread.h"

#include <gtest/gtest.h>
#include <sched.h>

#include <atomic>
#include <cstdlib>
#include <string>

namespace plat {
namespace {

TEST(Thread, ReportsItsExitCodeToEveryJoinAndMayBeClosedWhileRunning) {
  uint32_t value = 42;
  ThreadHandle thread = CreateThread(
      [](void* argument) -> uint32_t { return *static_cast<uint32_t*>(argument); }, &value);
  ASSERT_NE(thread, nullptr);
  uint32_t first = 0, second = 0;
  ASSERT_TRUE(JoinThread(thread, &first));
  ASSERT_TRUE(JoinThread(thread, &second));
  EXPECT_EQ(first, 42u);
  EXPECT_EQ(second, 42u);
  CloseThread(thread);

  static std::atomic<bool> finished{false};
  CloseThread(CreateThread([](void*) -> uint32_t { return finished = true; }, nullptr));
  while (!finished) sched_yield();
}

TEST(Thread, BindsToOneAllowedProcessor) {
  ASSERT_GE(ProcessorCount(), 1u);
  EXPECT_GT(TotalPhysicalMemory(), 0u);
  // On a thread of its own, so the test runner keeps its affinity.
  uint32_t last = ProcessorCount() - 1;
  ThreadHandle thread = CreateThread(
      [](void* argument) -> uint32_t {
        if (!SetCurrentThreadAffinity(*static_cast<uint32_t*>(argument))) return 1;
        cpu_set_t set;
        if (sched_getaffinity(0, sizeof(set), &set) != 0 || CPU_COUNT(&set) != 1) return 2;
        return SetCurrentThreadAffinity(1u << 20) ? 3 : 0;
      },
      &last);
  uint32_t exitCode = 99;
  ASSERT_TRUE(JoinThread(thread, &exitCode));
  CloseThread(thread);
  EXPECT_EQ(exitCode, 0u);
}

TEST(Thread, TempPathIsTmpdirOrTmpEndingWithSlash) {
  const char* original = std::getenv("TMPDIR");
  const std::string saved = original ? original : "";
  std::u16string path;
  setenv("TMPDIR", "/scratch/\xC3\xA9t\xC3\xA9", 1);
  ASSERT_TRUE(GetTempPath(&path));
  EXPECT_EQ(path, u"/scratch/\u00E9t\u00E9/");
  setenv("TMPDIR", "", 1);
  ASSERT_TRUE(GetTempPath(&path));
  EXPECT_EQ(path, u"/tmp/");
  original ? setenv("TMPDIR", saved.c_str(), 1) : unsetenv("TMPDIR");
}

}  // namespace
}  // namespace plat
