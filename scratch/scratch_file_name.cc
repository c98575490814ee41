// Scratch file names: "<area>/tolvarine<n>", n shared by all areas of a list.
// A name is reserved by creating the file exclusively, so two lists (two
// components, or two processes) sharing an area never pick the same file.

#include "platform/file_system.h"
#include "platform/no_throw.h"
#include "scratch/scratch_file.h"

namespace {

std::u16string Decimal(uint32_t value) {
  char16_t digits[10];
  size_t count = 0;
  do {
    digits[count++] = static_cast<char16_t>(u'0' + value % 10);
    value /= 10;
  } while (value != 0);
  std::u16string text;
  while (count > 0) text.push_back(digits[--count]);
  return text;
}

}  // namespace

HRESULT MakeScratchFileName(ScratchAreaList* list, const std::u16string& area,
                            std::u16string* name) {
  // A name is kept only for a file made: on any failure, an allocation's too,
  // the caller must not see a half-built or refused name.
  const HRESULT hr = plat::NoThrow([&] {
    // Every number is tried once at most: when all are taken, the area is full.
    for (uint64_t attempts = 0; attempts <= UINT32_MAX; ++attempts) {
      *name = area + u"/tolvarine" + Decimal(list->NextFileNumber);
      ++list->NextFileNumber;  // Wraps at 2^32.
      if (plat::CreateNewFile(*name)) return S_OK;
      if (plat::GetLastError() != ERROR_FILE_EXISTS) return plat::HResultFromLastError();
    }
    return HRESULT_FROM_WIN32(ERROR_FILE_EXISTS);
  });
  if (FAILED(hr)) name->clear();
  return hr;
}
