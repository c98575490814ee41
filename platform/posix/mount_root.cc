// GetMountRootDriveType: the Linux counterpart of asking GetDriveTypeW about a
// bare drive root. A directory is a mount root when the kernel says so
// (statx) or, on kernels that cannot say, when its parent lies on another
// device or is the directory itself ("/"). The file system type decides
// remote and optical storage; the block device's "removable" attribute in
// sysfs decides removable media.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>

#include <cstdio>
#include <string>

#include "platform/file_system.h"
#include "platform/posix/file_object.h"

#ifndef STATX_ATTR_MOUNT_ROOT
#define STATX_ATTR_MOUNT_ROOT 0x00002000
#endif

namespace plat {
namespace {

// File system magic numbers (statfs f_type).
constexpr unsigned long kNfs = 0x6969;
constexpr unsigned long kSmb = 0x517B;
constexpr unsigned long kCifs = 0xFF534D42;
constexpr unsigned long kSmb2 = 0xFE534D42;
constexpr unsigned long kNcp = 0x564C;
constexpr unsigned long kAfs = 0x5346414F;
constexpr unsigned long kCoda = 0x73757245;
constexpr unsigned long kCeph = 0x00C36400;
constexpr unsigned long k9p = 0x01021997;
constexpr unsigned long kFuse = 0x65735546;
constexpr unsigned long kIso9660 = 0x9660;
constexpr unsigned long kUdf = 0x15013346;

bool IsMountRoot(const std::string& path, const struct statx& info) {
  if (info.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) {
    return (info.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
  }
  struct stat self, parent;
  if (stat(path.c_str(), &self) != 0 || stat((path + "/..").c_str(), &parent) != 0) return false;
  return self.st_dev != parent.st_dev || self.st_ino == parent.st_ino;
}

// "0", "1" or "" (not a block device, or no such attribute).
std::string ReadSysfsFlag(const std::string& path) {
  FILE* file = std::fopen(path.c_str(), "re");
  if (file == nullptr) return std::string();
  char flag[2] = {};
  const size_t read = std::fread(flag, 1, 1, file);
  std::fclose(file);
  return read == 1 ? std::string(flag, 1) : std::string();
}

// Whether the device holding the file system is a real block device, and if
// so whether it (or, for a partition, its disk) is removable.
void ExamineBlockDevice(unsigned major, unsigned minor, bool* isBlockDevice, bool* removable) {
  char base[64];
  std::snprintf(base, sizeof base, "/sys/dev/block/%u:%u", major, minor);
  std::string flag = ReadSysfsFlag(std::string(base) + "/removable");
  if (flag.empty()) flag = ReadSysfsFlag(std::string(base) + "/../removable");
  struct stat device;
  *isBlockDevice = stat(base, &device) == 0;
  *removable = flag == "1";
}

}  // namespace

DriveType GetMountRootDriveType(const std::u16string& path) {
  std::string native;
  if (path.empty() || !NativePath(path, &native)) return DriveType::kNoRootDir;
  struct statx info;
  if (statx(AT_FDCWD, native.c_str(), AT_STATX_DONT_SYNC, STATX_TYPE | STATX_INO, &info) != 0 ||
      !S_ISDIR(info.stx_mode) || !IsMountRoot(native, info)) {
    return DriveType::kNoRootDir;
  }
  struct statfs fs;
  if (statfs(native.c_str(), &fs) != 0) return DriveType::kUnknown;
  bool isBlockDevice = false;
  bool removable = false;
  ExamineBlockDevice(info.stx_dev_major, info.stx_dev_minor, &isBlockDevice, &removable);
  switch (static_cast<unsigned long>(fs.f_type)) {
    case kNfs:
    case kSmb:
    case kCifs:
    case kSmb2:
    case kNcp:
    case kAfs:
    case kCoda:
    case kCeph:
    case k9p:
      return DriveType::kRemote;
    case kIso9660:
    case kUdf:
      return DriveType::kCdRom;
    case kFuse:
      // A file system in user space is local only when it sits on a block
      // device of this machine (fuseblk); sshfs and the like have none.
      if (!isBlockDevice) return DriveType::kRemote;
      break;
    default:
      break;
  }
  return removable ? DriveType::kRemovable : DriveType::kFixed;
}

}  // namespace plat
