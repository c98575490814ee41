// The POSIX backend's own rules: errno mapped to Win32 numbers, processors
// counted within the cpuset, and the temporary directory from $TMPDIR.
#include <gtest/gtest.h>
#include <sched.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/com_types.h"
#include "platform/thread.h"

namespace plat {
namespace {

TEST(LastError, ErrnoNeverMapsToSuccess) {
  for (int err = -1; err < 200; ++err) EXPECT_NE(Win32ErrorFromErrno(err), 0u) << err;
  EXPECT_EQ(SetLastErrorFromErrno(ENOSPC), ERROR_DISK_FULL);
  EXPECT_EQ(GetLastError(), ERROR_DISK_FULL);
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
