// Temporary directories, runs of the kelmar-convert binary, clips made by
// ffmpeg and a reader for the .bmp files the tool writes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "display_image.h"
#include "frame.h"

namespace kconvert::test {

// A fresh directory, removed with everything in it at the end of the test.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  std::vector<std::string> Files() const;  // names, sorted

 private:
  std::string path_;
};

struct ToolRun {
  int status = -1;  // exit status, or -1 if it did not exit normally
  std::string out;
  std::string err;
};

// Runs kelmar-convert with `args`, standard input from `input` ("" for
// /dev/null).
ToolRun RunTool(const std::vector<std::string>& args, const std::string& input = "");

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);

bool HaveFfmpeg();
// An ffmpeg test-source clip of `frames` frames, as .y4m and as raw I420.
// Call only when HaveFfmpeg().
void MakeClip(const std::string& y4mPath, const std::string& rawPath, int width, int height,
              int frames);

// A random 4:2:0 frame.
Frame RandomFrame(int width, int height, uint32_t seed);

// The header fields of a .bmp and its pixels as the display shows them.
struct Bmp {
  int width = 0;
  int height = 0;  // positive: bottom-up
  int bitCount = 0;
  uint32_t compression = 0;
  uint32_t clrUsed = 0;
  uint32_t sizeImage = 0;
  std::vector<uint32_t> table;    // palette entries or colour masks
  std::vector<std::string> rows;  // pixel bytes without padding, top row first
};
// Parses and checks the structure; fails the test on any inconsistency.
Bmp ParseBmp(const std::string& bytes);

}  // namespace kconvert::test
