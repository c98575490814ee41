// Where "tolvarine sort" writes: standard output, or a file that is replaced
// only when the sort succeeds. The rows go to a new temporary file beside the
// destination (so the destination may be the input itself), which is renamed
// over it by Commit and removed by Discard or the destructor.
#pragma once

#include <fstream>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

namespace tolvarine {

class SortOutput {
 public:
  SortOutput() = default;
  ~SortOutput();
  SortOutput(const SortOutput&) = delete;
  SortOutput& operator=(const SortOutput&) = delete;

  // `path`: none for standard output. False with *error.
  bool Open(const std::optional<std::string>& path, std::ostream& standardOutput,
            std::string* error);
  std::ostream& Stream() { return *out_; }
  const std::string& DisplayName() const { return displayName_; }
  // Flushes and, for a file, renames it into place. False with *error (the
  // temporary file is then removed).
  bool Commit(std::string* error);
  void Discard();
  // The temporary file, while there is one.
  const std::string& TemporaryPath() const { return temporaryPath_; }

 private:
  std::string displayName_;
  std::string path_;
  std::string temporaryPath_;
  std::unique_ptr<std::ofstream> file_;
  std::ostream* out_ = nullptr;
};

}  // namespace tolvarine
