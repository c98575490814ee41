#include "tools/commands/sort_output.h"

namespace tolvarine {

SortOutput::FileBuffer::FileBuffer(plat::OutputFile& file) : file_(file), space_(kBytes) {
  setp(space_.data(), space_.data() + space_.size());
}

bool SortOutput::FileBuffer::Drain() {
  const size_t pending = static_cast<size_t>(pptr() - pbase());
  setp(space_.data(), space_.data() + space_.size());
  return pending == 0 || !error_.empty() ? error_.empty()
                                         : file_.Write(space_.data(), pending, &error_);
}

SortOutput::FileBuffer::int_type SortOutput::FileBuffer::overflow(int_type c) {
  if (!Drain()) return traits_type::eof();
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  *pptr() = traits_type::to_char_type(c);
  pbump(1);
  return c;
}

std::streamsize SortOutput::FileBuffer::xsputn(const char* text, std::streamsize count) {
  if (static_cast<size_t>(count) < kBytes) return std::streambuf::xsputn(text, count);
  // Copying a large piece into the buffer first would only cut it up.
  if (!Drain() || !file_.Write(text, static_cast<size_t>(count), &error_)) return 0;
  return count;
}

int SortOutput::FileBuffer::sync() {
  return Drain() ? 0 : -1;
}

bool SortOutput::Open(const std::optional<std::string>& path, std::ostream& standardOutput,
                      std::string* error) {
  if (!path || *path == "-") {
    displayName_ = "<stdout>";
    out_ = &standardOutput;
    return true;
  }
  displayName_ = *path;
  if (!file_.Open(*path, error)) {
    *error = displayName_ + ": " + *error;
    return false;
  }
  out_ = &fileStream_;
  return true;
}

std::string SortOutput::WriteFailure() const {
  const std::string& reason = buffer_.Error();
  return displayName_ + ": " +
         (reason.empty() ? std::string("writing failed (is the disk full?)") : reason);
}

bool SortOutput::Commit(std::string* error) {
  out_->flush();
  if (out_->fail()) {
    *error = WriteFailure();
    Discard();
    return false;
  }
  if (out_ != &fileStream_) return true;
  if (!file_.Commit(error)) {
    *error = displayName_ + ": " + *error;
    return false;
  }
  return true;
}

}  // namespace tolvarine
