// Files for scratch data: exclusive creation of names, transient files for
// unbuffered block I/O that vanish when closed (or when the process dies),
// and what kind of storage a directory is the root of.
//
// Paths are UTF-16; a path holding a NUL code unit is refused with
// ERROR_INVALID_NAME. Failures set the thread's last error (Win32 numbers)
// and return false or null.
#pragma once

#include <cstdint>
#include <string>

#include "platform/com_types.h"

namespace plat {

struct FileObject;
using FileHandle = FileObject*;

// Creates an empty file that must not exist yet and closes it again, so that
// the name is reserved. ERROR_FILE_EXISTS when the name is taken.
bool CreateNewFile(const std::u16string& path);

// Removes a name. False (last error set) when it cannot be removed.
bool DeleteFile(const std::u16string& path);

// Opens `path` for reading and writing, creating it when missing and
// truncating it otherwise, for block transfers (platform/async_file.h).
// Transfers bypass the system's file cache where the file system allows it
// (O_DIRECT; on Windows always, FILE_FLAG_NO_BUFFERING); elsewhere they are
// buffered and their pages are dropped from the cache after each block. The
// file's data lives only as long as the handle: nothing of it survives
// CloseFile or the end of the process. On POSIX the name is removed as soon
// as the file is open; on Windows it stays until the handle closes
// (FILE_FLAG_DELETE_ON_CLOSE), and no one else can open the file meanwhile.
FileHandle OpenTransientFile(const std::u16string& path);

// Waits for every transfer still in flight on the file, then closes it.
// Null is ignored.
void CloseFile(FileHandle file);

// Extends the file to `bytes` bytes, reserving the space where the file
// system can (fallocate) and otherwise only moving the end of the file.
// Never shortens it. On Windows the new range is also marked as written
// (SetFileValidData) when the process may enable SE_MANAGE_VOLUME_NAME, so
// that writes into it need not wait for the system to zero it first.
bool SetFileSize(FileHandle file, uint64_t bytes);

// True when the file's transfers bypass the system's file cache.
bool FileUsesDirectIo(FileHandle file);

// What a directory is the root of, in the manner of GetDriveTypeW.
enum class DriveType : uint32_t {
  kUnknown = 0,    // a mount root whose file system could not be examined
  kNoRootDir = 1,  // not exactly the root of a mounted file system, or missing
  kRemovable = 2,  // a block device that reports itself removable
  kFixed = 3,      // a local disk, or memory-backed storage such as tmpfs
  kRemote = 4,     // NFS, SMB/CIFS, network file systems in user space, ...
  kCdRom = 5,      // ISO 9660 or UDF
};

// Whether `path` names exactly the root of a mounted file system ("/",
// "/mnt/usb"; on Windows "C:\", "C:", "\\server\share\" or a folder a
// volume is mounted on), and if so what kind of storage that file system
// lives on.
// Only the answer kFixed describes a local, non-removable disk.
DriveType GetMountRootDriveType(const std::u16string& path);

}  // namespace plat
