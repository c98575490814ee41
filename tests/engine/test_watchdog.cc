// A per-test time limit for the engine tests. A lost wake-up or end-of-input
// check leaves the engine waiting for ever; without a limit that shows only
// as ctest's time-out minutes later, naming no test. The watchdog aborts the
// program with the name of the test that overran.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

namespace {

// Far above the slowest test (about 12 s under TSan, 3 s in a plain build).
constexpr std::chrono::seconds kLimit{60};

class Watchdog : public testing::EmptyTestEventListener {
 public:
  void OnTestProgramStart(const testing::UnitTest&) override {
    thread_ = std::thread([this] { Watch(); });
  }
  void OnTestStart(const testing::TestInfo& test) override {
    Set(std::string(test.test_suite_name()) + "." + test.name(), false);
  }
  void OnTestEnd(const testing::TestInfo&) override { Set("", false); }
  void OnTestProgramEnd(const testing::UnitTest&) override {
    Set("", true);
    if (thread_.joinable()) thread_.join();
  }

 private:
  // An empty name: no test is running.
  void Set(std::string test, bool done) {
    std::lock_guard<std::mutex> lock(mutex_);
    test_ = std::move(test);
    deadline_ = std::chrono::steady_clock::now() + kLimit;
    done_ = done;
    wake_.notify_one();
  }
  void Watch() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!done_) {
      if (test_.empty()) {
        wake_.wait(lock);
      } else if (wake_.wait_until(lock, deadline_) == std::cv_status::timeout && !test_.empty() &&
                 std::chrono::steady_clock::now() >= deadline_) {
        std::fprintf(stderr, "\nWATCHDOG: %s has not finished after %lld s; aborting.\n",
                     test_.c_str(), static_cast<long long>(kLimit.count()));
        std::fflush(stderr);
        std::abort();
      }
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::thread thread_;
  std::string test_;  // GUARDED_BY(mutex_), like the fields below.
  std::chrono::steady_clock::time_point deadline_;
  bool done_ = false;
};

// Registered before main: gtest_main runs the tests with it in place.
const bool kRegistered = [] {
  testing::UnitTest::GetInstance()->listeners().Append(new Watchdog);
  return true;
}();

}  // namespace
