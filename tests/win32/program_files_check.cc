// The program's input and output files and the facts about the process,
// checked on the real system calls; also the harness's file helpers.
#include <string>

#include "platform/bstr.h"
#include "platform/input_file.h"
#include "platform/output_file.h"
#include "platform/process_stats.h"
#include "platform/thread.h"
#include "tests/win32/check.h"

namespace wincheck {

ScratchDir::ScratchDir() {
  std::u16string temp;
  plat::GetTempPath(&temp);
  static int made = 0;
  path_ = reinterpret_cast<const wchar_t*>(temp.c_str());
  path_ += L"tolvarine-check-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
           std::to_wstring(++made);
  ::CreateDirectoryW(path_.c_str(), nullptr);
  path_ += L"\\";
}

ScratchDir::~ScratchDir() {
  WIN32_FIND_DATAW found;
  const HANDLE search = ::FindFirstFileW((path_ + L"*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      ::DeleteFileW((path_ + found.cFileName).c_str());
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
  }
  ::RemoveDirectoryW(path_.c_str());
}

std::u16string ScratchDir::Utf16(const std::wstring& leaf) const {
  const std::wstring whole = path_ + leaf;
  return std::u16string(reinterpret_cast<const char16_t*>(whole.c_str()), whole.size());
}

std::string ScratchDir::Utf8(const std::wstring& leaf) const {
  return plat::Utf16ToUtf8(Utf16(leaf));
}

size_t ScratchDir::EntryCount() const {
  size_t count = 0;
  WIN32_FIND_DATAW found;
  const HANDLE search = ::FindFirstFileW((path_ + L"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return 0;
  do {
    const std::wstring name = found.cFileName;
    count += name != L"." && name != L"..";
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);
  return count;
}

bool WriteWholeFile(const std::wstring& path, const std::string& bytes) {
  const HANDLE file =
      ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok =
      ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
      written == bytes.size();
  ::CloseHandle(file);
  return ok;
}

std::string ReadWholeFile(const std::wstring& path) {
  const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<missing>";
  std::string all;
  char block[65536];
  DWORD got = 0;
  while (::ReadFile(file, block, sizeof block, &got, nullptr) && got > 0) all.append(block, got);
  ::CloseHandle(file);
  return all;
}

bool Exists(const std::wstring& path) {
  return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

namespace {

std::string Pattern(size_t bytes) {
  std::string data(bytes, '\0');
  for (size_t i = 0; i < bytes; ++i) data[i] = static_cast<char>((i * 2654435761u) >> 13);
  return data;
}

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

void CheckInputFile() {
  ScratchDir dir;
  const std::string data = Pattern((size_t{5} << 20) + 4097);
  CHECK(WriteWholeFile(dir.path() + L"input", data));
  CHECK(ReadAll(dir.Utf8(L"input"), {1, 4095, (size_t{1} << 20) + 1}) == data);
  CHECK(ReadAll(dir.Utf8(L"input"), {size_t{8} << 20}) == data);

  // A name outside ASCII goes through as UTF-8.
  CHECK(WriteWholeFile(dir.path() + L"\u00e9t\u00e9.txt", "summer"));
  CHECK(ReadAll(dir.Utf8(L"\u00e9t\u00e9.txt"), {100}) == "summer");

  plat::InputFile file;
  std::string error;
  CHECK(!file.Open(dir.Utf8(L""), &error) && error == "is a directory");
  plat::InputFile missing;
  CHECK(!missing.Open(dir.Utf8(L"missing"), &error) &&
        error.starts_with("cannot open the input file: "));
  std::printf("missing input: %s\n", error.c_str());
}

void CheckOutputFile() {
  ScratchDir dir;
  const std::wstring target = dir.path() + L"out";
  std::string error;
  {
    // New: nothing under the name until Commit, nothing else left after.
    plat::OutputFile out;
    CHECK(out.Open(dir.Utf8(L"out"), &error));
    CHECK(out.Write("new contents", 12, &error));
    CHECK(!Exists(target));
    CHECK(out.Commit(&error));
    CHECK(ReadWholeFile(target) == "new contents" && dir.EntryCount() == 1);
  }
  {
    // Replaced: the old contents stay until Commit; Discard keeps them.
    plat::OutputFile out;
    CHECK(out.Open(dir.Utf8(L"out"), &error) && out.Write("second", 6, &error));
    CHECK(ReadWholeFile(target) == "new contents");
    out.Discard();
    CHECK(ReadWholeFile(target) == "new contents" && dir.EntryCount() == 1);
    CHECK(out.Open(dir.Utf8(L"out"), &error) && out.Write("second", 6, &error));
  }
  CHECK(ReadWholeFile(target) == "new contents" && dir.EntryCount() == 1);  // Destroyed: dropped.
  {
    // The sort's own input, still open, is replaced.
    plat::InputFile input;
    CHECK(input.Open(dir.Utf8(L"out"), &error));
    plat::OutputFile out;
    CHECK(out.Open(dir.Utf8(L"out"), &error) && out.Write("third", 5, &error));
    CHECK(out.Commit(&error));
    std::printf("replacing an open input: %s\n", error.c_str());
    CHECK(ReadWholeFile(target) == "third" && dir.EntryCount() == 1);
  }
  {
    // A hard link keeps sharing the contents: the file is rewritten in place.
    const std::wstring link = dir.path() + L"link";
    CHECK(::CreateHardLinkW(link.c_str(), target.c_str(), nullptr));
    plat::OutputFile out;
    CHECK(out.Open(dir.Utf8(L"out"), &error) && out.Write("fourth", 6, &error));
    CHECK(out.Commit(&error));
    CHECK(ReadWholeFile(target) == "fourth" && ReadWholeFile(link) == "fourth");
    CHECK(dir.EntryCount() == 2);
  }
  {
    // Devices are written directly; directories and read-only files refused.
    plat::OutputFile out;
    CHECK(out.Open("NUL", &error) && out.Write("gone", 4, &error) && out.Commit(&error));
    CHECK(!out.Open(dir.Utf8(L""), &error) && error == "is a directory");
    const std::wstring locked = dir.path() + L"locked";
    CHECK(WriteWholeFile(locked, "keep"));
    ::SetFileAttributesW(locked.c_str(), FILE_ATTRIBUTE_READONLY);
    // Wine keeps the attribute as Unix permissions, which do not stop root.
    const HANDLE writer =
        ::CreateFileW(locked.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (writer == INVALID_HANDLE_VALUE) {
      CHECK(!out.Open(dir.Utf8(L"locked"), &error) && error.starts_with("cannot be written: "));
    } else {
      std::printf("note: this system lets the process write a read-only file\n");
      ::CloseHandle(writer);
    }
    ::SetFileAttributesW(locked.c_str(), FILE_ATTRIBUTE_NORMAL);
    CHECK(ReadWholeFile(locked) == "keep");
  }
  const size_t entries = dir.EntryCount();
  CHECK(plat::CanCreateFilesIn(dir.Utf8(L""), &error) && dir.EntryCount() == entries);
  CHECK(plat::CanCreateFilesIn(dir.Utf8(L"out"), &error) == false);
  CHECK(!plat::CanCreateFilesIn(dir.Utf8(L"missing"), &error) && !error.empty());
  std::printf("missing directory: %s\n", error.c_str());
}

void CheckProcessFacts() {
  const uint64_t current = plat::CurrentResidentBytes();
  CHECK(current > 0 && plat::PeakResidentBytes() >= current);
  CHECK(!plat::ResetPeakResidentBytes());
  plat::ProcessIoBytes before{}, after{};
  CHECK(plat::GetProcessIoBytes(&before));
  {
    ScratchDir dir;
    CHECK(WriteWholeFile(dir.path() + L"counted", std::string(1 << 20, 'c')));
  }
  CHECK(plat::GetProcessIoBytes(&after));
  if (RunningOnWine() && after.WriteBytes == 0) {
    std::printf("note: Wine counts no I/O of the process\n");
  } else {
    CHECK(after.WriteBytes >= before.WriteBytes + (1 << 20));
  }
  // The checks run with standard error sent to a file.
  CHECK(!plat::StandardErrorIsTerminal());
}

}  // namespace wincheck
