#include "atomic_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "tool_error.h"

namespace kconvert {

AtomicFile::AtomicFile(std::string path) : path_(std::move(path)) {
  if (path_ == "-") {
    toStdout_ = true;
    file_ = stdout;
    return;
  }
  const std::filesystem::path target(path_);
  const std::filesystem::path dir = target.has_parent_path() ? target.parent_path() : ".";
  std::error_code error;
  std::filesystem::create_directories(dir, error);
  if (error) {
    throw ToolError("cannot create '" + path_ + "': " + error.message());
  }
  tempPath_ = (dir / ("." + target.filename().string() + ".XXXXXX")).string();
  const int fd = mkstemp(tempPath_.data());
  if (fd < 0) {
    tempPath_.clear();
    Fail("cannot create");
  }
  // mkstemp makes the file private; give it the mode a new file would get.
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);
  file_ = fdopen(fd, "wb");
  if (file_ == nullptr) {
    close(fd);
    Fail("cannot create");
  }
}

AtomicFile::~AtomicFile() {
  if (toStdout_ || tempPath_.empty()) return;
  if (file_ != nullptr) fclose(file_);
  unlink(tempPath_.c_str());
}

void AtomicFile::Fail(const char* what) {
  const int error = errno;
  throw ToolError(std::string(what) + " '" + path_ + "': " + std::strerror(error));
}

void AtomicFile::Write(const void* data, size_t bytes) {
  if (bytes != 0 && fwrite(data, 1, bytes, file_) != bytes) Fail("cannot write");
}

void AtomicFile::Commit() {
  if (toStdout_) {
    if (fflush(stdout) != 0) Fail("cannot write");
    return;
  }
  FILE* file = file_;
  file_ = nullptr;
  if (fclose(file) != 0) Fail("cannot write");
  if (rename(tempPath_.c_str(), path_.c_str()) != 0) Fail("cannot write");
  tempPath_.clear();
}

void WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes) {
  AtomicFile file(path);
  file.Write(bytes.data(), bytes.size());
  file.Commit();
}

}  // namespace kconvert
