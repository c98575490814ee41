#include "tools/sort_output.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <random>

namespace tolvarine {
namespace {

constexpr int kNameAttempts = 100;

// Creates a file that did not exist, beside `path`; its name, or empty.
std::string CreateTemporaryBeside(const std::string& path) {
  std::random_device device;
  std::mt19937_64 random((static_cast<uint64_t>(device()) << 32) ^ device());
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    char suffix[32];
    std::snprintf(suffix, sizeof(suffix), ".tolvarine-%012llx",
                  static_cast<unsigned long long>(random() & 0xFFFFFFFFFFFFull));
    std::string candidate = path + suffix;
    // "x": exclusive creation, so an existing file is never taken over.
    if (std::FILE* file = std::fopen(candidate.c_str(), "wbx")) {
      std::fclose(file);
      return candidate;
    }
    if (errno != EEXIST) break;
  }
  return {};
}

}  // namespace

SortOutput::~SortOutput() {
  Discard();
}

bool SortOutput::Open(const std::optional<std::string>& path, std::ostream& standardOutput,
                      std::string* error) {
  if (!path || *path == "-") {
    displayName_ = "<stdout>";
    out_ = &standardOutput;
    return true;
  }
  displayName_ = path_ = *path;
  std::error_code code;
  if (std::filesystem::is_directory(path_, code)) {
    *error = displayName_ + ": is a directory";
    return false;
  }
  temporaryPath_ = CreateTemporaryBeside(path_);
  if (temporaryPath_.empty()) {
    *error = displayName_ + ": cannot create a file in its directory";
    return false;
  }
  file_ = std::make_unique<std::ofstream>(temporaryPath_, std::ios::binary | std::ios::trunc);
  if (!*file_) {
    *error = displayName_ + ": cannot open " + temporaryPath_ + " for writing";
    Discard();
    return false;
  }
  out_ = file_.get();
  return true;
}

bool SortOutput::Commit(std::string* error) {
  out_->flush();
  if (file_) file_->close();
  if (out_->fail()) {
    *error = displayName_ + ": writing failed (is the disk full?)";
    Discard();
    return false;
  }
  if (!file_) return true;
  std::error_code code;
  // Replacing a file keeps its permissions.
  auto status = std::filesystem::status(path_, code);
  if (!code && std::filesystem::exists(status)) {
    std::filesystem::permissions(temporaryPath_, status.permissions(), code);
  }
  std::filesystem::rename(temporaryPath_, path_, code);
  if (code) {
    *error = displayName_ + ": cannot replace it with " + temporaryPath_ + ": " + code.message();
    Discard();
    return false;
  }
  temporaryPath_.clear();
  return true;
}

void SortOutput::Discard() {
  if (file_) file_->close();
  if (!temporaryPath_.empty()) {
    std::error_code code;
    std::filesystem::remove(temporaryPath_, code);
    temporaryPath_.clear();
  }
}

}  // namespace tolvarine
