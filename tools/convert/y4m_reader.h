// YUV4MPEG2 streams: the header line, FRAME lines and the 4:2:0 planes.
#pragma once

#include <cstdint>
#include <istream>
#include <optional>
#include <string>
#include <vector>

#include "colour_range.h"
#include "frame.h"

namespace kconvert {

// Largest picture the tool accepts: a side of 16384 and 64 Mpixel, which
// keeps every buffer size (also at double size) far inside 32-bit ranges.
constexpr int kMaxSide = 16384;
constexpr int64_t kMaxPixels = int64_t{1} << 26;

struct Ratio {
  int64_t num = 0;  // 0:0 means unknown
  int64_t den = 0;
};

struct Y4mHeader {
  int width = 0;
  int height = 0;
  Ratio frameRate;
  char interlace = '?';  // p, t, b, m or ?
  Ratio aspect;
  std::string chroma = "420jpeg";       // the stream default when C is absent
  std::vector<std::string> extensions;  // X tags, without the X
  // XCOLORRANGE=FULL or =LIMITED; nothing when absent or another value.
  std::optional<kelmar_tools::ColourRange> range;
};

// Parses the parameters of a header line: everything after "YUV4MPEG2" up
// to, not including, the newline.  `name` prefixes error messages.
Y4mHeader ParseY4mParameters(const std::string& parameters, const std::string& name);

// Checks a picture size against the limits above; throws with `name`.
void CheckPictureSize(int64_t width, int64_t height, const std::string& name);

class Y4mReader {
 public:
  // Reads and checks the header; throws ToolError on anything malformed.
  Y4mReader(std::istream& in, std::string name);

  const Y4mHeader& header() const { return header_; }
  size_t headerBytes() const { return headerBytes_; }
  // Frames read or skipped so far.
  int64_t framesSeen() const { return framesSeen_; }

  // The next frame; false at the end of the stream.  A stream that ends
  // inside a frame is an error that names the frame.
  bool ReadFrame(Frame& frame);
  bool SkipFrame();

 private:
  bool ReadFrameLine();
  void ReadPayload(uint8_t* data, size_t bytes, size_t done, size_t total);

  std::istream& in_;
  std::string name_;
  Y4mHeader header_;
  size_t headerBytes_ = 0;
  int64_t framesSeen_ = 0;
  std::vector<uint8_t> scratch_;
};

}  // namespace kconvert
