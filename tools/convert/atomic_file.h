// Output files that appear only when complete: written under a temporary
// name in the same directory and renamed on Commit().
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace kconvert {

class AtomicFile {
 public:
  // "-" writes to standard output.  Missing directories on the way are
  // created.  Throws ToolError when the file cannot be created.
  explicit AtomicFile(std::string path);
  ~AtomicFile();  // removes the temporary file unless committed
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  void Write(const void* data, size_t bytes);
  // Flushes, closes and renames to the final name; throws on any failure.
  void Commit();
  const std::string& path() const { return path_; }

 private:
  [[noreturn]] void Fail(const char* what);

  std::string path_;
  std::string tempPath_;
  FILE* file_ = nullptr;
  bool toStdout_ = false;
};

// A whole file at once.
void WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace kconvert
