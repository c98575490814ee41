// An input stream over a file opened by platform/input_file.h, so that the
// command's readers get its large, read-ahead reads through the istream they
// already take. A failed read sets badbit, as a failing ifstream does.
#pragma once

#include <istream>
#include <streambuf>
#include <string>
#include <vector>

#include "platform/input_file.h"

namespace tolvarine {

class InputFileStream : public std::istream {
 public:
  InputFileStream() : std::istream(&buffer_) {}
  // False with *error, a phrase that follows the path.
  bool Open(const std::string& path, std::string* error) { return file_.Open(path, error); }

 private:
  // Small reads come out of a buffer; a read at least as large as the
  // buffer goes to the file in one piece.
  class Buffer : public std::streambuf {
   public:
    explicit Buffer(plat::InputFile& file) : file_(file) {}

   protected:
    int_type underflow() override;
    std::streamsize xsgetn(char* data, std::streamsize count) override;

   private:
    static constexpr size_t kBytes = size_t{64} << 10;
    ptrdiff_t ReadFile(char* data, size_t bytes);
    plat::InputFile& file_;
    std::vector<char> space_ = std::vector<char>(kBytes);
  };

  plat::InputFile file_;
  Buffer buffer_{file_};
};

}  // namespace tolvarine
