#include "tools/commands/input_file_stream.h"

#include <algorithm>
#include <cstring>
#include <ios>

namespace tolvarine {

// istream turns the exception into badbit.
ptrdiff_t InputFileStream::Buffer::ReadFile(char* data, size_t bytes) {
  std::string error;
  const ptrdiff_t got = file_.Read(data, bytes, &error);
  if (got < 0) throw std::ios_base::failure(error);
  return got;
}

InputFileStream::Buffer::int_type InputFileStream::Buffer::underflow() {
  if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
  const ptrdiff_t got = ReadFile(space_.data(), space_.size());
  setg(space_.data(), space_.data(), space_.data() + got);
  return got > 0 ? traits_type::to_int_type(*gptr()) : traits_type::eof();
}

std::streamsize InputFileStream::Buffer::xsgetn(char* data, std::streamsize count) {
  std::streamsize done = std::min<std::streamsize>(count, egptr() - gptr());
  if (done > 0) {  // Before the first read there is no buffer at all.
    std::memcpy(data, gptr(), static_cast<size_t>(done));
    gbump(static_cast<int>(done));
  }
  if (count - done < static_cast<std::streamsize>(kBytes)) {
    return done + std::streambuf::xsgetn(data + done, count - done);
  }
  while (done < count) {
    const ptrdiff_t got = ReadFile(data + done, static_cast<size_t>(count - done));
    if (got == 0) break;
    done += got;
  }
  return done;
}

}  // namespace tolvarine
