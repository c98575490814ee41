// A program's output file, written so that no file but the one it names ever
// changes, and that one only when the output is complete, as users of
// "sort -o" expect:
//  - a symbolic link is followed; the file it leads to is the destination;
//  - a device or FIFO is opened and written directly, and so is a name for
//    one of the process's open files (/dev/stdout);
//  - a socket or directory is refused;
//  - a regular file, or a new one, is written to a temporary file in the
//    destination's directory, created readable by its owner only and unnamed
//    where the file system allows it. Commit gives it the replaced file's
//    owner, group and mode (a new file: 0666 less the umask) and renames it
//    over the destination. A file with several hard links, one whose owner
//    this process cannot give away, or one in a directory this process may
//    not add files to (its temporary file then lies in $TMPDIR or /tmp) is
//    instead rewritten in place from the temporary file, so that its links,
//    owner and group stay;
//  - a named temporary file is removed when the process is ended by an
//    interrupt, terminate or hang-up signal (platform/termination.h).
// Because the destination changes only in Commit, it may be an input that
// has been read to its end by then.
//
// On Windows the same holds with the system's means: a device ("CON",
// "NUL") or pipe is written directly; the temporary file is named, and
// Commit moves it over the destination (MoveFileExW), which keeps the
// directory's default security rather than the replaced file's; a file with
// several hard links, one in a directory this process may not add files to,
// or one that another program holds open so that it cannot be replaced, is
// rewritten in place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace plat {

class OutputFile {
 public:
  OutputFile();
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Decides how `path` (UTF-8) is written and opens what is written to.
  // False with *error, a phrase that follows the path ("is a socket").
  bool Open(const std::string& path, std::string* error);
  // Writes every byte; false with *error.
  bool Write(const void* data, size_t bytes, std::string* error);
  // Puts what was written in place of the destination. False with *error;
  // the temporary file is removed either way.
  bool Commit(std::string* error);
  // Drops what was written to a temporary file; the destination stays as it
  // was (a device or FIFO has received what was written).
  void Discard();

 private:
  struct Impl;  // The system's handles and how the destination is replaced.
  std::unique_ptr<Impl> impl_;
};

// Whether a new file can be created in `directory`; false with *error
// (strerror text). Leaves nothing behind.
bool CanCreateFilesIn(const std::string& directory, std::string* error);

}  // namespace plat
