// Runs the tolvarine program end to end through the component library beside it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <tuple>

#include "tests/support/test_files.h"

namespace {

namespace fs = std::filesystem;

using testsupport::ReadText;
using testsupport::WriteText;

struct Result {
  int status;
  std::string out, err;
};

class SortCommandTest : public testing::Test {
 protected:
  void SetUp() override {
    const char* build = std::getenv("TOLVARINE_BUILD_DIR");
    if (!build || !fs::exists(fs::path(build) / "tolvarine")) {
      GTEST_SKIP() << "TOLVARINE_BUILD_DIR does not hold the tolvarine program";
    }
    program_ = fs::path(build) / "tolvarine";
    std::random_device random;
    dir_ = fs::temp_directory_path() / ("tolvarine-tools-" + std::to_string(random()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code code;
    if (!dir_.empty()) fs::remove_all(dir_, code);
  }

  // Runs the program in the test's directory with a registry of its own; stdout to `output`.
  Result Run(const std::string& args, const std::string& input = "",
             const std::string& output = "stdout") {
    WriteText(dir_ / "stdin", input);
    const std::string command = "cd '" + dir_.string() + "' && TOLVARINE_REGISTRY='" +
                                (dir_ / "registry.reg").string() + "' '" + program_.string() +
                                "' " + args + " < stdin > " + output +
                                " 2> stderr; echo $? > status";
    EXPECT_EQ(std::system(command.c_str()), 0);
    Result result{std::atoi(ReadText(dir_ / "status").c_str()), ReadText(dir_ / "stdout"),
                  ReadText(dir_ / "stderr")};
    for (const char* name : {"stdin", "stdout", "stderr", "status"}) fs::remove(dir_ / name);
    return result;
  }

  // Files in the test directory other than the given ones.
  std::vector<std::string> OtherFiles(std::initializer_list<std::string> expected) {
    std::vector<std::string> others;
    for (const auto& entry : fs::directory_iterator(dir_)) {
      const std::string name = entry.path().filename().string();
      if (std::ranges::find(expected, name) == expected.end()) others.push_back(name);
    }
    return others;
  }

  // Starts a sort in the background; once it holds a temporary output open (unnamed or
  // .tolvarine-*), its pid and that file's mode; pid 0 if none within 10 s. `feed` runs meanwhile.
  std::pair<pid_t, mode_t> StartSort(const std::string& args, const std::function<void()>& feed) {
    const std::string command = "cd '" + dir_.string() + "' && ('" + program_.string() + "' " +
                                args + " 2> stderr & echo $! > pid; wait $!; echo $? > status) &";
    EXPECT_EQ(std::system(command.c_str()), 0);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
      feed();
      const pid_t pid = std::atoi(ReadText(dir_ / "pid").c_str());
      std::error_code code;
      const fs::path fds = "/proc/" + std::to_string(pid) + "/fd";
      for (const auto& entry : fs::directory_iterator(fds, code)) {
        const std::string target = fs::read_symlink(entry.path(), code).string();
        const bool temporary = !fs::exists(target, code) ||
                               fs::path(target).filename().string().starts_with(".tolvarine-");
        if (target.starts_with(dir_.string()) && temporary) {
          struct stat status {};
          if (stat(entry.path().c_str(), &status) == 0) return {pid, status.st_mode & 07777};
        }
      }
      usleep(20000);
    }
    return {0, 0};
  }

  // The exit status of the sort StartSort began; -1 if not ended within 10 s.
  int SortStatus() {
    for (int i = 0; i < 500 && !fs::exists(dir_ / "status"); ++i) usleep(20000);
    usleep(20000);  // The line may be half written.
    return fs::exists(dir_ / "status") ? std::atoi(ReadText(dir_ / "status").c_str()) : -1;
  }

  fs::path program_;
  fs::path dir_;
};

TEST_F(SortCommandTest, SortsCsvByTypedKeysCarryingEveryOtherColumn) {
  const std::string input =
      "id,name,amount\n"
      "1,\"Smith, J\",10.5\n"
      "2,b,-3\n"
      "3,,10.50\n"
      "4,\"say \"\"x\"\"\",\n"
      "5,\"\",-3.0\n";
  WriteText(dir_ / "in.csv", input);
  Result result = Run(
      "sort --schema 'id:i4,name:wstr(20),amount:decimal' -k amount -k id:desc in.csv -o out.csv");
  ASSERT_EQ(result.status, 0) << result.err;
  // NULL first; equal amounts by id descending; values and quoting as written.
  EXPECT_EQ(ReadText(dir_ / "out.csv"),
            "id,name,amount\n"
            "4,\"say \"\"x\"\"\",\n"
            "5,\"\",-3.0\n"
            "2,b,-3\n"
            "3,,10.50\n"
            "1,\"Smith, J\",10.5\n");
  EXPECT_EQ(result.out, "");

  // Unique keeps one row per key; standard input to standard output.
  result = Run("sort --schema 'id:i4,name:wstr(20),amount:decimal' -k amount -u -q", input);
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(std::ranges::count(result.out, '\n'), 4);  // Header, NULL, -3, 10.5.
  EXPECT_EQ(result.err, "");
}

TEST_F(SortCommandTest, FixedRecordsAreReorderedByteForByteInPlace) {
  Result result = Run("generate --layout gensort -n 5000 --seed 4 -o records.dat");
  ASSERT_EQ(result.status, 0) << result.err;
  const std::string before = ReadText(dir_ / "records.dat");
  ASSERT_EQ(before.size(), 500000u);
  result =
      Run("sort --format fixed --fields 'key:bytes(10),payload:bytes(90)' -k key --threads 2 "
          "--stats records.dat -o records.dat");
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_NE(result.err.find("rows in 5,000, rows out 5,000"), std::string::npos) << result.err;
  const std::string after = ReadText(dir_ / "records.dat");
  ASSERT_EQ(after.size(), before.size());
  std::vector<std::string> in, out;
  for (size_t i = 0; i < before.size(); i += 100) {
    in.push_back(before.substr(i, 100));
    out.push_back(after.substr(i, 100));
  }
  EXPECT_TRUE(
      std::ranges::is_sorted(out, {}, [](const std::string& r) { return r.substr(0, 10); }));
  std::ranges::sort(in);
  std::ranges::sort(out);
  EXPECT_EQ(in, out);
  EXPECT_EQ(OtherFiles({"records.dat", "scratch"}), std::vector<std::string>{});
}

// The live line's spilled bytes are the component's count, not the process's storage writes.
TEST_F(SortCommandTest, ProgressShowsTheSpilledBytesTheComponentCounts) {
  ASSERT_EQ(Run("generate --layout gensort -n 30000 --seed 4 -o records.dat").status, 0);
  const Result result =
      Run("sort --format fixed --fields 'key:bytes(10),payload:bytes(90)' -k key -S 1 "
          "--progress --stats records.dat -o sorted.dat");
  ASSERT_EQ(result.status, 0) << result.err;
  const size_t statsLine = result.err.rfind("rows in ");
  ASSERT_NE(statsLine, std::string::npos) << result.err;
  const size_t inProgress = result.err.rfind("spilled ", statsLine);
  const size_t inStats = result.err.find("spilled ", statsLine);
  ASSERT_NE(inProgress, std::string::npos) << result.err;
  ASSERT_NE(inStats, std::string::npos) << result.err;
  auto figure = [&](size_t at) { return result.err.substr(at, result.err.find(',', at) - at); };
  EXPECT_EQ(figure(inProgress), figure(inStats)) << result.err;
  EXPECT_NE(figure(inStats), "spilled 0 B") << "the sort did not spill";
}

TEST_F(SortCommandTest, BadInputStopsWithFileAndLineAndLeavesNoOutput) {
  WriteText(dir_ / "in.csv", "n,s\n1,a\n2,b,c\n");
  WriteText(dir_ / "out.csv", "old");
  Result result = Run("sort -k n in.csv -o out.csv");
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "tolvarine sort: in.csv:3: 3 fields, expected 2\n");
  EXPECT_EQ(ReadText(dir_ / "out.csv"), "old");
  EXPECT_EQ(OtherFiles({"in.csv", "out.csv"}), std::vector<std::string>{});

  WriteText(dir_ / "in.csv", "n\n1\nx\n");
  result = Run("sort --schema n:i4 -k n in.csv -o new.csv");
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "tolvarine sort: in.csv:3: column 'n' (i4), value \"x\": not an integer\n");
  EXPECT_FALSE(fs::exists(dir_ / "new.csv"));
  result = Run("sort --schema n:i4 -k n in.csv");  // Not even the header reaches stdout.
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "");

  // Mistakes found before any row is read: 1, or 2 for a command line that
  // is not understood at all.
  const std::tuple<const char*, int, const char*> failures[] = {
      {"sort -k m in.csv", 1, "tolvarine sort: unknown key column 'm'; the columns are: n\n"},
      {"sort in.csv", 2, "Try 'tolvarine sort --help'"},
      {"sort -k n nowhere.csv", 1, "tolvarine sort: nowhere.csv: cannot open the input file\n"}};
  for (const auto& [args, status, message] : failures) {
    result = Run(args);
    EXPECT_EQ(result.status, status) << args;
    EXPECT_NE(result.err.find(message), std::string::npos) << result.err;
  }
}

TEST_F(SortCommandTest, RowsTheComponentWouldRefuseFailBeforeTheInputIsRead) {
  std::string header = "c0";
  for (int i = 1; i < 3000; ++i) header += ",c" + std::to_string(i);
  WriteText(dir_ / "wide.csv", header + "\n");
  Result result = Run("sort -k 1 wide.csv");
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("takes 1,548,000 bytes"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("limit of 1 MiB"), std::string::npos) << result.err;
}

TEST_F(SortCommandTest, AFullDiskIsAFailure) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  Result result = Run("generate -n 200 -o in.csv");
  ASSERT_EQ(result.status, 0) << result.err;
  result = Run("sort -k id in.csv", "", "/dev/full");
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("writing failed"), std::string::npos) << result.err;
  result = Run("generate -n 200", "", "/dev/full");
  EXPECT_EQ(result.status, 1);
  // Output of several blocks fails while the sink writes an early one on
  // its own thread; the reason still reaches the user.
  ASSERT_EQ(Run("generate -n 60000 -o big.csv").status, 0);
  result = Run("sort -k id -o /dev/full big.csv");
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "tolvarine sort: /dev/full: writing failed: No space left on device\n");
}

TEST_F(SortCommandTest, AnOutputFileIsReplacedKeepingWhatUsersOfSortExpect) {
  WriteText(dir_ / "in.csv", "a\n3\n1\n2\n");
  const std::string sorted = "a\n1\n2\n3\n";
  // A symbolic link leads to the file that is replaced; the file keeps its
  // owner, group and mode.
  WriteText(dir_ / "target.csv", "old");
  fs::create_symlink("target.csv", dir_ / "link.csv");
  const bool root = geteuid() == 0;
  if (root) {
    ASSERT_EQ(chown((dir_ / "target.csv").c_str(), 65534, 65534), 0);
  }
  ASSERT_EQ(chmod((dir_ / "target.csv").c_str(), 0604), 0);
  Result result = Run("sort -k a in.csv -o link.csv");
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_TRUE(fs::is_symlink(dir_ / "link.csv"));
  EXPECT_EQ(ReadText(dir_ / "target.csv"), sorted);
  struct stat status {};
  ASSERT_EQ(stat((dir_ / "target.csv").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0604u);
  if (root) {
    EXPECT_EQ(status.st_uid, 65534u);
  }

  // Hard links stay linked to the new contents.
  fs::create_hard_link(dir_ / "target.csv", dir_ / "other.csv");
  WriteText(dir_ / "in.csv", "a\n5\n4\n");
  result = Run("sort -k a in.csv -o other.csv");
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(ReadText(dir_ / "target.csv"), "a\n4\n5\n");
  EXPECT_EQ(fs::hard_link_count(dir_ / "other.csv"), 2u);

  // The temporary file's name does not grow with the output's.
  result = Run("sort -k a in.csv -o " + std::string(240, 'n'));
  EXPECT_EQ(result.status, 0) << result.err;

  // A socket is refused, not replaced by a file.
  sockaddr_un address{AF_UNIX, {}};
  const std::string socketPath = (dir_ / "socket").string();
  ASSERT_LT(socketPath.size(), sizeof(address.sun_path));
  std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
  const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
  result = Run("sort -k a in.csv -o socket");
  close(listener);
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("socket: is a socket"), std::string::npos) << result.err;
  EXPECT_EQ(OtherFiles(
                {"in.csv", "target.csv", "link.csv", "other.csv", std::string(240, 'n'), "socket"}),
            std::vector<std::string>{});
}

TEST_F(SortCommandTest, FifosDevicesAndOpenFilesAreWrittenNotReplaced) {
  WriteText(dir_ / "in.csv", "a\n2\n1\n");
  ASSERT_EQ(mkfifo((dir_ / "fifo").c_str(), 0600), 0);
  // A reader that is already there, so that the sort's open does not wait.
  const int reader = open((dir_ / "fifo").c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  Result result = Run("sort -k a in.csv -o fifo");
  char received[64] = {};
  const ssize_t got = read(reader, received, sizeof(received) - 1);
  close(reader);
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(std::string(received, got > 0 ? static_cast<size_t>(got) : 0), "a\n1\n2\n");
  EXPECT_TRUE(fs::is_fifo(dir_ / "fifo"));

  // A name for an open file, as /dev/stdout is, writes to that file, here a pipe.
  fs::create_symlink("/proc/self/fd/1", dir_ / "to-stdout");
  const std::string piped = "cd '" + dir_.string() + "' && '" + program_.string() +
                            "' sort -k a in.csv -o to-stdout | cat > piped";
  EXPECT_EQ(std::system(piped.c_str()), 0);
  EXPECT_EQ(ReadText(dir_ / "piped"), "a\n1\n2\n");
  EXPECT_TRUE(fs::is_symlink(dir_ / "to-stdout"));

  if (geteuid() != 0) GTEST_SKIP() << "making a device node needs root";
  ASSERT_EQ(mknod((dir_ / "null").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
  result = Run("sort -k a in.csv -o null");
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_TRUE(fs::is_character_file(dir_ / "null"));
  EXPECT_EQ(OtherFiles({"in.csv", "fifo", "to-stdout", "piped", "null"}),
            std::vector<std::string>{});
}

TEST_F(SortCommandTest, ASignalEndsTheSortLeavingTheOutputAsItWasAndNoOtherFile) {
  ASSERT_EQ(mkfifo((dir_ / "in.fifo").c_str(), 0600), 0);
  WriteText(dir_ / "out.csv", "old");
  ASSERT_EQ(chmod((dir_ / "out.csv").c_str(), 0644), 0);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    // Holding both ends, the test feeds the sort more than it reads at once,
    // never the end of the input.
    const int input = open((dir_ / "in.fifo").c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(input, 0);
    std::string rows = "a\n";
    while (rows.size() < (5u << 20)) rows += "1\n";
    size_t fed = 0;
    auto [pid, mode] = StartSort("sort -k a in.fifo -o out.csv", [&] {
      const ssize_t written = write(input, rows.data() + fed, rows.size() - fed);
      if (written > 0) fed += static_cast<size_t>(written);
    });
    if (pid == 0) close(input);  // Ends the sort's input.
    ASSERT_NE(pid, 0) << "the sort made no temporary output";
    EXPECT_EQ(mode, 0600u) << "a temporary output readable by others";
    kill(pid, signal);
    EXPECT_EQ(SortStatus(), 128 + signal);
    close(input);
    EXPECT_EQ(ReadText(dir_ / "out.csv"), "old");
    for (const char* name : {"pid", "status", "stderr"}) fs::remove(dir_ / name);
    EXPECT_EQ(OtherFiles({"in.fifo", "out.csv"}), std::vector<std::string>{});
  }
}

TEST_F(SortCommandTest, RegisteredComponentIsCreatedByItsProgId) {
  Result result = Run("register");
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_NE(ReadText(dir_ / "registry.reg").find("Tolvarine.Tolvarine"), std::string::npos);
  result = Run("sort --no-header -k 1 --schema 'n:i8'", "3\n-1\n2\n");
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "-1\n2\n3\n");
  result = Run("unregister");
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(ReadText(dir_ / "registry.reg").find("Tolvarine.Tolvarine"), std::string::npos);
  // A registry that cannot be read: sort runs from the library beside it and says so.
  WriteText(dir_ / "registry.reg", "Windows Registry Editor Version 5.00\n\n[HKEY_CLASSES_ROOT\\");
  result = Run("sort --no-header -k 1 --schema 'n:i8'", "3\n-1\n2\n");
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "-1\n2\n3\n");
  EXPECT_EQ(result.err, "tolvarine sort: ignoring the registry " +
                            (dir_ / "registry.reg").string() +
                            ": the registry file is damaged or truncated (0x800703F1); using " +
                            (program_.parent_path() / "libtolvarine.so").string() + "\n");
}

TEST_F(SortCommandTest, EmptyInput) {
  Result result = Run("sort -k 1", "");
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "");
  result = Run("sort -k a --schema a:i4", "a\n");
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "a\n");
}

}  // namespace
