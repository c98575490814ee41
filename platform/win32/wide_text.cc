#include "platform/win32/wide_text.h"

#include <new>

#include "platform/bstr.h"

namespace plat {

const wchar_t* WidePath(const std::u16string& path) {
  if (path.find(u'\0') != std::u16string::npos) {
    SetLastError(ERROR_INVALID_NAME);
    return nullptr;
  }
  return reinterpret_cast<const wchar_t*>(path.c_str());
}

bool WidePathFromUtf8(std::string_view path, std::wstring* wide) {
  if (path.find('\0') != std::string_view::npos) {
    SetLastError(ERROR_INVALID_NAME);
    return false;
  }
  try {
    const std::u16string text = Utf8ToUtf16(path);
    wide->assign(reinterpret_cast<const wchar_t*>(text.data()), text.size());
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return false;
  }
  return true;
}

std::string ErrorText(DWORD error) {
  wchar_t* message = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
  if (length == 0 || message == nullptr) return "error " + std::to_string(error);
  std::u16string_view text(reinterpret_cast<const char16_t*>(message), length);
  while (!text.empty() && (text.back() == u'\r' || text.back() == u'\n' || text.back() == u' ' ||
                           text.back() == u'.')) {
    text.remove_suffix(1);
  }
  std::string utf8;
  try {
    utf8 = Utf16ToUtf8(text);
  } catch (...) {
    ::LocalFree(message);
    throw;
  }
  ::LocalFree(message);
  return utf8;
}

}  // namespace plat
