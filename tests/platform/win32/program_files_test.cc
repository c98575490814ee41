// The program's input and output files and the facts about the process, on
// the real system calls. Where Wine differs from Windows the test says so.
#include <gtest/gtest.h>

#include <string>

#include "platform/input_file.h"
#include "platform/output_file.h"
#include "platform/process_stats.h"
#include "tests/platform/win32/win32_files.h"
#include "tests/support/wine.h"

namespace win32test {
namespace {

// Everything the file gives, read in pieces of the given sizes (cycled).
std::string ReadAll(const std::string& path, std::initializer_list<size_t> pieces) {
  plat::InputFile file;
  std::string error;
  if (!file.Open(path, &error)) return "<" + error + ">";
  std::string all;
  for (size_t i = 0;; ++i) {
    const size_t size = pieces.begin()[i % pieces.size()];
    const size_t at = all.size();
    all.resize(at + size);
    const ptrdiff_t got = file.Read(all.data() + at, size, &error);
    all.resize(at + (got > 0 ? static_cast<size_t>(got) : 0));
    if (got <= 0) break;
  }
  return all;
}

}  // namespace

TEST(Win32Files, InputFile) {
  ScratchDir dir;
  const std::vector<uint8_t> bytes = testsupport::PatternBytes((size_t{5} << 20) + 4097);
  const std::string data(bytes.begin(), bytes.end());
  WriteText(dir.Wide() + L"input", data);
  EXPECT_TRUE(ReadAll(dir.Utf8(L"input"), {1, 4095, (size_t{1} << 20) + 1}) == data);
  EXPECT_TRUE(ReadAll(dir.Utf8(L"input"), {size_t{8} << 20}) == data);

  // A name outside ASCII goes through as UTF-8.
  WriteText(dir.Wide() + L"\u00e9t\u00e9.txt", "summer");
  EXPECT_TRUE(ReadAll(dir.Utf8(L"\u00e9t\u00e9.txt"), {100}) == "summer");

  plat::InputFile file;
  std::string error;
  EXPECT_TRUE(!file.Open(dir.Utf8(L""), &error) && error == "is a directory");
  plat::InputFile missing;
  EXPECT_TRUE(!missing.Open(dir.Utf8(L"missing"), &error) &&
              error.starts_with("cannot open the input file: "));
}

TEST(Win32Files, OutputFile) {
  ScratchDir dir;
  const std::wstring target = dir.Wide() + L"out";
  std::string error;
  {
    // New: nothing under the name until Commit, nothing else left after.
    plat::OutputFile out;
    EXPECT_TRUE(out.Open(dir.Utf8(L"out"), &error));
    EXPECT_TRUE(out.Write("new contents", 12, &error));
    EXPECT_TRUE(!Exists(target));
    EXPECT_TRUE(out.Commit(&error));
    EXPECT_TRUE(ReadText(target) == "new contents" && dir.Count() == 1);
  }
  {
    // Replaced: the old contents stay until Commit; Discard keeps them.
    plat::OutputFile out;
    EXPECT_TRUE(out.Open(dir.Utf8(L"out"), &error) && out.Write("second", 6, &error));
    EXPECT_TRUE(ReadText(target) == "new contents");
    out.Discard();
    EXPECT_TRUE(ReadText(target) == "new contents" && dir.Count() == 1);
    EXPECT_TRUE(out.Open(dir.Utf8(L"out"), &error) && out.Write("second", 6, &error));
  }
  EXPECT_TRUE(ReadText(target) == "new contents" && dir.Count() == 1);  // Destroyed: dropped.
  {
    // The sort's own input, still open, is replaced.
    plat::InputFile input;
    EXPECT_TRUE(input.Open(dir.Utf8(L"out"), &error));
    plat::OutputFile out;
    EXPECT_TRUE(out.Open(dir.Utf8(L"out"), &error) && out.Write("third", 5, &error));
    EXPECT_TRUE(out.Commit(&error));
    EXPECT_TRUE(ReadText(target) == "third" && dir.Count() == 1);
  }
  {
    // A hard link keeps sharing the contents: the file is rewritten in place.
    const std::wstring link = dir.Wide() + L"link";
    EXPECT_TRUE(::CreateHardLinkW(link.c_str(), target.c_str(), nullptr));
    plat::OutputFile out;
    EXPECT_TRUE(out.Open(dir.Utf8(L"out"), &error) && out.Write("fourth", 6, &error));
    EXPECT_TRUE(out.Commit(&error));
    EXPECT_TRUE(ReadText(target) == "fourth" && ReadText(link) == "fourth");
    EXPECT_TRUE(dir.Count() == 2);
  }
  {
    // Devices are written directly; directories and read-only files refused.
    plat::OutputFile out;
    EXPECT_TRUE(out.Open("NUL", &error) && out.Write("gone", 4, &error) && out.Commit(&error));
    EXPECT_TRUE(!out.Open(dir.Utf8(L""), &error) && error == "is a directory");
    const std::wstring locked = dir.Wide() + L"locked";
    WriteText(locked, "keep");
    ::SetFileAttributesW(locked.c_str(), FILE_ATTRIBUTE_READONLY);
    // Wine keeps the attribute as Unix permissions, which do not stop root:
    // there the file opens for writing, and the output file takes it too.
    const HANDLE writer =
        ::CreateFileW(locked.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (writer != INVALID_HANDLE_VALUE) ::CloseHandle(writer);
    if (testsupport::RunningOnWine() && writer != INVALID_HANDLE_VALUE) {
      EXPECT_TRUE(out.Open(dir.Utf8(L"locked"), &error)) << error;
      out.Discard();
    } else {
      EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
      EXPECT_FALSE(out.Open(dir.Utf8(L"locked"), &error));
      EXPECT_TRUE(error.starts_with("cannot be written: ")) << error;
    }
    ::SetFileAttributesW(locked.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_TRUE(ReadText(locked) == "keep");
  }
  const size_t entries = dir.Count();
  EXPECT_TRUE(plat::CanCreateFilesIn(dir.Utf8(L""), &error) && dir.Count() == entries);
  EXPECT_TRUE(plat::CanCreateFilesIn(dir.Utf8(L"out"), &error) == false);
  EXPECT_TRUE(!plat::CanCreateFilesIn(dir.Utf8(L"missing"), &error) && !error.empty());
}

TEST(Win32Files, ProcessFacts) {
  const uint64_t current = plat::CurrentResidentBytes();
  EXPECT_TRUE(current > 0 && plat::PeakResidentBytes() >= current);
  EXPECT_TRUE(!plat::ResetPeakResidentBytes());
  plat::ProcessIoBytes before{}, after{};
  EXPECT_TRUE(plat::GetProcessIoBytes(&before));
  {
    ScratchDir dir;
    WriteText(dir.Wide() + L"counted", std::string(1 << 20, 'c'));
  }
  EXPECT_TRUE(plat::GetProcessIoBytes(&after));
  if (testsupport::RunningOnWine()) {
    // Wine's gap: it counts no I/O of the process (the counters stay zero).
    EXPECT_EQ(before.WriteBytes, 0u);
    EXPECT_EQ(after.WriteBytes, 0u);
  } else {
    EXPECT_GE(after.WriteBytes, before.WriteBytes + (1 << 20));
  }
  // The tests run with standard error sent to a file.
  EXPECT_TRUE(!plat::StandardErrorIsTerminal());
}

}  // namespace win32test
