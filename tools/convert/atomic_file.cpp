#include "atomic_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "temporary_files.h"
#include "tool_error.h"

namespace kconvert {
namespace {

// ".NAME.XXXXXX" in `dir`, with NAME cut short where that would exceed the
// directory's longest name: any name the file system takes works.
std::string TemporaryPattern(const std::filesystem::path& dir, const std::string& name) {
  const long limit = pathconf(dir.c_str(), _PC_NAME_MAX);
  const size_t longest = limit > 0 ? static_cast<size_t>(limit) : NAME_MAX;
  constexpr size_t kAdded = sizeof(".") - 1 + sizeof(".XXXXXX") - 1;
  const size_t kept = longest > kAdded ? longest - kAdded : 1;
  return (dir / ("." + name.substr(0, kept) + ".XXXXXX")).string();
}

}  // namespace

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
  tempPath_ = TemporaryPattern(dir, target.filename().string());
  const int fd = CreateTemporaryFile(tempPath_);
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
    const int error = errno;
    close(fd);
    RemoveTemporaryFile(tempPath_);
    errno = error;
    Fail("cannot create");
  }
}

AtomicFile::~AtomicFile() {
  if (toStdout_ || tempPath_.empty()) return;
  if (file_ != nullptr) fclose(file_);
  RemoveTemporaryFile(tempPath_);
}

void AtomicFile::Fail(const char* what) {
  // A reader that closed the pipe ends the program as it ends any other.
  if (toStdout_ && errno == EPIPE) EndBySignal(SIGPIPE);
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
  if (CommitTemporaryFile(tempPath_, path_) != 0) Fail("cannot write");
  tempPath_.clear();
}

void WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes) {
  AtomicFile file(path);
  file.Write(bytes.data(), bytes.size());
  file.Commit();
}

}  // namespace kconvert
