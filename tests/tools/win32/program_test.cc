// Runs tolvarine.exe through CreateProcessW with a UTF-16 command line and the standard
// streams on files; it finds Tolvarine.dll beside it.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/bstr.h"
#include "tests/support/test_files.h"
#include "tests/support/test_files.h"

namespace {

namespace fs = std::filesystem;

// Outside every ANSI code page, with a surrogate pair in UTF-16.
const std::wstring kName = L"Gr\u00f6\u00dfe-\u6570\u636e-\U0001D11E";

std::string Utf8(const std::wstring& text) {
  return plat::Utf16ToUtf8(
      std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()));
}

using testsupport::ReadText;
using testsupport::WriteText;

// $TOLVARINE_BUILD_DIR, else the parent of this program's directory.
fs::path BuildDirectory() {
  wchar_t buffer[32768];
  const DWORD length = ::GetEnvironmentVariableW(L"TOLVARINE_BUILD_DIR", buffer, 32768);
  if (length > 0 && length < 32768) return fs::path(buffer);
  const DWORD own = ::GetModuleFileNameW(nullptr, buffer, 32768);
  return fs::path(std::wstring(buffer, own)).parent_path().parent_path();
}

struct Result {
  DWORD status = ~DWORD{0};
  std::string out, err;
};

class ProgramTest : public testing::Test {
 protected:
  void SetUp() override {
    program_ = BuildDirectory() / L"tolvarine.exe";
    ASSERT_TRUE(fs::exists(program_)) << program_.string();
    ASSERT_TRUE(fs::exists(program_.parent_path() / L"Tolvarine.dll"));
  }

  // Under Wine the last child may still hold its working directory (see Run).
  void TearDown() override {
    for (int i = 0; i < 250 && fs::exists(dir()); ++i) {
      std::error_code ignored;
      fs::remove_all(dir(), ignored);
      if (fs::exists(dir())) ::Sleep(20);
    }
    EXPECT_FALSE(fs::exists(dir()));
  }

  // Each run has stream files of its own: under Wine a child's standard input and working
  // directory stay open for some 150 ms after it has ended.
  Result Run(const std::wstring& arguments, const std::string& input = "") {
    const std::wstring run = std::to_wstring(++runs_);
    const fs::path in = dir() / (L"stdin" + run), out = dir() / (L"stdout" + run),
                   err = dir() / (L"stderr" + run);
    WriteText(in, input);
    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    auto open = [&](const fs::path& path, DWORD access, DWORD disposition) {
      return ::CreateFileW(path.c_str(), access,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherited,
                           disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = open(in, GENERIC_READ, OPEN_EXISTING);
    startup.hStdOutput = open(out, GENERIC_WRITE, CREATE_ALWAYS);
    startup.hStdError = open(err, GENERIC_WRITE, CREATE_ALWAYS);
    std::wstring commandLine = L"\"" + program_.wstring() + L"\" " + arguments;
    PROCESS_INFORMATION process{};
    Result result;
    if (::CreateProcessW(program_.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                         CREATE_NO_WINDOW, nullptr, dir().c_str(), &startup, &process)) {
      EXPECT_EQ(::WaitForSingleObject(process.hProcess, 300000), WAIT_OBJECT_0);
      ::GetExitCodeProcess(process.hProcess, &result.status);
      ::CloseHandle(process.hThread);
      ::CloseHandle(process.hProcess);
    } else {
      ADD_FAILURE() << "CreateProcessW failed: " << ::GetLastError();
    }
    for (HANDLE handle : {startup.hStdInput, startup.hStdOutput, startup.hStdError})
      ::CloseHandle(handle);
    result.out = ReadText(out);
    result.err = ReadText(err);
    return result;
  }

  const fs::path& dir() const { return dir_.path(); }

  fs::path program_;
  int runs_ = 0;
  testsupport::TempDir dir_{"tolvarine-program-"};
};

// Records of 100 bytes, sorted as wholes.
std::vector<std::string> SortedRecords(const std::string& bytes) {
  std::vector<std::string> records;
  for (size_t at = 0; at < bytes.size(); at += 100) records.push_back(bytes.substr(at, 100));
  std::sort(records.begin(), records.end());
  return records;
}

TEST_F(ProgramTest, FilesNamedOutsideTheAnsiCodePageAreReadWrittenAndSpilledTo) {
  const std::wstring input = kName + L".dat", output = kName + L"-sorted.dat";
  fs::create_directory(dir() / kName);  // Scratch files go there.
  Result result = Run(L"generate --layout gensort -n 30000 --seed 7 -o \"" + input + L"\"");
  ASSERT_EQ(result.status, 0u) << result.err;
  const std::string records = ReadText(dir() / input);
  ASSERT_EQ(records.size(), 3000000u);

  // A 1 MiB budget spills 3 MB to the scratch directory.
  result = Run(
      L"sort --format fixed --fields key:bytes(10),payload:bytes(90) -k key -S 1 -q --stats -T \"" +
      kName + L"\" \"" + input + L"\" -o \"" + output + L"\"");
  ASSERT_EQ(result.status, 0u) << result.err;
  const size_t files = result.err.find("scratch files ");
  ASSERT_NE(files, std::string::npos) << result.err;
  EXPECT_NE(result.err[files + 14], '0') << result.err;
  const std::string sorted = ReadText(dir() / output);
  for (size_t at = 100; at < sorted.size(); at += 100) {
    ASSERT_LE(sorted.compare(at - 100, 10, sorted, at, 10), 0) << "record " << at / 100;
  }
  EXPECT_EQ(SortedRecords(sorted), SortedRecords(records));
  EXPECT_TRUE(fs::is_empty(dir() / kName));

  // A name given to register, which must fail to load it, is made absolute.
  result = Run(L"register \"" + input + L"\"");
  EXPECT_EQ(result.status, 1u);
  EXPECT_NE(result.err.find(Utf8((dir() / input).wstring()) + ": "), std::string::npos)
      << result.err;
}

TEST_F(ProgramTest, MessagesQuoteTheNameAsGivenInUtf8) {
  // The bytes reach standard error unchanged; messages end in CR LF.
  Result result = Run(L"sort -k a \"" + kName + L".csv\"");
  EXPECT_EQ(result.status, 1u);
  EXPECT_EQ(result.err, "tolvarine sort: " + Utf8(kName) + ".csv: cannot open the input file\r\n");

  // Half of a surrogate pair is no text: refused, not changed into U+FFFD.
  result = Run(L"sort -k a \"broken-\xD834.csv\"");
  EXPECT_EQ(result.status, 2u);
  EXPECT_EQ(result.err,
            "tolvarine: argument 4 is not Unicode text: it holds an unpaired surrogate\r\n");
}

TEST_F(ProgramTest, StandardInputAndOutputCarryBytesUnchanged) {
  // Line feeds, carriage returns and Ctrl-Z inside fixed records.
  const std::string records =
      std::string("\x1a\n\r\0", 4) + "\n\n\n\n" + "\r\n\x1a\x1a" + "\x1a\x1a\x1a\x1a";
  Result result = Run(L"sort --format fixed --fields key:bytes(4) -k key -q", records);
  ASSERT_EQ(result.status, 0u) << result.err;
  EXPECT_EQ(result.out, std::string("\n\n\n\n") + "\r\n\x1a\x1a" + std::string("\x1a\n\r\0", 4) +
                            "\x1a\x1a\x1a\x1a");

  // CSV lines end in LF on standard output as in a file.
  result = Run(L"sort -k a -q", "a\r\n2\r\n1\r\n");
  ASSERT_EQ(result.status, 0u) << result.err;
  EXPECT_EQ(result.out, "a\n1\n2\n");
}

}  // namespace
