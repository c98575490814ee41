// Where "tolvarine sort" writes: standard output, or a file (-o) written by
// the rules of platform/output_file.h: a device or FIFO directly, a regular
// file through a temporary file that takes its place only when the sort
// succeeded, so that the destination may be the input itself.
#pragma once

#include <optional>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

#include "platform/output_file.h"

namespace tolvarine {

class SortOutput {
 public:
  SortOutput() : fileStream_(&buffer_) {}
  SortOutput(const SortOutput&) = delete;
  SortOutput& operator=(const SortOutput&) = delete;

  // `path`: none or "-" for standard output. False with *error.
  bool Open(const std::optional<std::string>& path, std::ostream& standardOutput,
            std::string* error);
  std::ostream& Stream() { return *out_; }
  // Flushes and puts a file in place. False with *error (a temporary file
  // is then removed and the destination left as it was).
  bool Commit(std::string* error);
  void Discard() { file_.Discard(); }
  // Why writing failed, once the stream has failed.
  std::string WriteFailure() const;

 private:
  // Hands the stream's bytes to the file in writes of up to kBytes, and a
  // piece at least that large in one write of its own; a failed write fails
  // the stream and keeps the reason.
  class FileBuffer : public std::streambuf {
   public:
    explicit FileBuffer(plat::OutputFile& file);
    const std::string& Error() const { return error_; }

   protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* text, std::streamsize count) override;
    int sync() override;

   private:
    static constexpr size_t kBytes = size_t{1} << 20;
    bool Drain();
    plat::OutputFile& file_;
    std::vector<char> space_;
    std::string error_;
  };

  std::string displayName_;
  plat::OutputFile file_;
  FileBuffer buffer_{file_};
  std::ostream fileStream_;
  std::ostream* out_ = nullptr;
};

}  // namespace tolvarine
