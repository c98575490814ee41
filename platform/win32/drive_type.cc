// GetMountRootDriveType on Windows: GetDriveTypeW, for a path that is
// exactly the root of a volume: a drive ("C:\"), a share
// ("\\server\share\") or a volume mounted on a folder ("C:\mnt\usb\").
#include <algorithm>
#include <new>
#include <string>

#include "platform/file_system.h"
#include "platform/string_compare.h"
#include "platform/win32/wide_text.h"

namespace plat {
namespace {

// GetDriveTypeW takes a root with its closing backslash; "C:" and "C:/" name
// the same root as "C:\".
std::wstring AsRoot(const wchar_t* path) {
  std::wstring root(path);
  for (wchar_t& unit : root) {
    if (unit == L'/') unit = L'\\';
  }
  if (root.back() != L'\\') root.push_back(L'\\');
  return root;
}

// Whether `root` is the root of the volume that holds it, so that a folder
// on a drive is never taken for the drive. Windows' GetDriveTypeW answers
// DRIVE_NO_ROOT_DIR for such a folder by itself; Wine's answers for the
// drive that holds it.
bool IsVolumeRoot(const std::wstring& root) {
  std::wstring volume(std::max<size_t>(root.size() + 2, MAX_PATH + 1), L'\0');
  if (!::GetVolumePathNameW(root.c_str(), volume.data(), static_cast<DWORD>(volume.size()))) {
    return false;
  }
  volume.resize(volume.find(L'\0'));
  return ::CompareStringOrdinal(volume.c_str(), -1, root.c_str(), -1, TRUE) == CSTR_EQUAL;
}

}  // namespace

DriveType GetMountRootDriveType(const std::u16string& path) {
  const wchar_t* name = path.empty() ? nullptr : WidePath(path);
  if (name == nullptr) return DriveType::kNoRootDir;
  std::wstring root;
  try {
    root = AsRoot(name);
  } catch (const std::bad_alloc&) {
    return DriveType::kUnknown;
  }
  DriveType type;
  switch (::GetDriveTypeW(root.c_str())) {
    case DRIVE_NO_ROOT_DIR:
      return DriveType::kNoRootDir;
    case DRIVE_REMOVABLE:
      type = DriveType::kRemovable;
      break;
    case DRIVE_FIXED:
    case DRIVE_RAMDISK:  // Memory-backed, as tmpfs is on Linux.
      type = DriveType::kFixed;
      break;
    case DRIVE_REMOTE:
      type = DriveType::kRemote;
      break;
    case DRIVE_CDROM:
      type = DriveType::kCdRom;
      break;
    default:
      return DriveType::kUnknown;
  }
  return IsVolumeRoot(root) ? type : DriveType::kNoRootDir;
}

}  // namespace plat
