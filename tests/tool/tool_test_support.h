// Temporary directories, runs of the kelmar-convert and kelmar-play
// binaries, clips made by ffmpeg, a display of the tests' own for the
// player, and readers for the files the tools write.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "display_image.h"
#include "frame.h"
#include "virtual_display.h"

namespace kconvert::test {

using kelmar::test::VirtualDisplay;

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
  int signal = 0;         // RunningTool: the signal that ended it, if one did
  int64_t peakBytes = 0;  // RunningTool: its largest resident size
};

// Runs `program` with `args`, standard input from `input` ("" for
// /dev/null), under env(1) with `env` ("NAME=value", or "-u", "NAME").
ToolRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                   const std::string& input = "", const std::vector<std::string>& env = {});

// Runs kelmar-convert with `args`, standard input from `input` ("" for
// /dev/null).
ToolRun RunTool(const std::vector<std::string>& args, const std::string& input = "");

// kelmar-convert running alongside the test: its standard input is a pipe
// the test writes (or the file `input`), and with `pipeOutput` its standard
// output a pipe the test reads (otherwise it is collected in a file).
class RunningTool {
 public:
  explicit RunningTool(const std::vector<std::string>& args, const std::string& input = "",
                       bool pipeOutput = false);
  ~RunningTool();  // kills a tool still running
  RunningTool(const RunningTool&) = delete;
  RunningTool& operator=(const RunningTool&) = delete;

  void Write(const std::string& bytes);  // as much as the tool takes
  std::string Read(size_t bytes);        // up to `bytes` of its standard output
  void CloseInput();
  void CloseOutput();
  void Signal(int signal);
  // Waits for the end.  A tool ended by a signal gets the status a shell
  // shows for it, 128 + the signal.
  ToolRun Wait();

 private:
  int pid_ = -1;
  int input_ = -1;
  int output_ = -1;
  TempDir capture_;
};

// Waits up to 30 s until `ready` holds; false if it never does.
bool WaitUntil(const std::function<bool()>& ready);

// Runs kelmar-play with `args` on `display`, with SDL's software renderer
// (the same on every machine) unless `env` holds "-u", "SDL_RENDER_DRIVER"
// for SDL's default; nullptr runs it with no display at all.  `env` as for
// RunProgram; standard input from `input` ("" for /dev/null).
ToolRun RunPlayer(const std::vector<std::string>& args, const VirtualDisplay* display,
                  const std::vector<std::string>& env = {}, const std::string& input = "");

// A PNG file as plain RGB; fails the test when it cannot be read.
RgbImage ReadPng(const std::string& path);
RgbImage Crop(const RgbImage& image, int width, int height);  // the top left corner
// The largest difference of one colour channel, or -1 for different sizes.
int MaxDifference(const RgbImage& a, const RgbImage& b);

// One picture kelmar-play handed to SDL, from its --dump directory.
struct DumpedPicture {
  int64_t frame = 0;
  std::string layout;
  bool zoom = false;
  std::string format;  // SDL's name
  int width = 0;
  int height = 0;
  int pitch = 0;
  int32_t adjustments[4] = {};  // brightness, contrast, saturation, balance
  std::string renderer;         // SDL's name of the renderer that drew it
  std::string bytes;
  std::string palette;  // 8-bit only: 256 x red, green, blue, alpha
};
std::vector<DumpedPicture> ReadDump(const std::string& directory);

// Frames 1 to `count` of a clip; fails the test when it has fewer.
std::vector<Frame> ReadFrames(const std::string& path, int count);

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
