// Pictures, the library's own answer for them, and ways to run kelmarconvert
// (through a harness or a pipeline) for the plugin's tests.
#pragma once

#include <gst/gst.h>

#include <cstdint>
#include <string>
#include <vector>

#include "frame_converter.h"

namespace kelmargst::test {

// An I420 picture with rows of `width` (luma) and (width + 1) / 2 (chroma)
// samples back to back.
struct I420Picture {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> y, u, v;
  int chromaWidth() const { return (width + 1) / 2; }
  int chromaHeight() const { return (height + 1) / 2; }
};

// Gradients, saturated bars and noise; `seed` varies the noise.
I420Picture TestPicture(int width, int height, uint32_t seed = 1);

// One converted picture: rows without padding, and for RGB8P the palette
// (0xAARRGGBB, as GStreamer keeps it).
struct Converted {
  std::vector<uint8_t> pixels;
  std::vector<uint32_t> palette;
};

const char* FormatName(OutputFormat format);
OutputFormat FormatFromName(const std::string& name);
size_t TightRowBytes(OutputFormat format, int width);

// The library called once on the whole picture, padded to macroblocks by
// repeating the edge samples, limited range expanded first when asked (for
// the RGB formats), rows top first.
Converted LibraryConversion(const I420Picture& picture, OutputFormat format, bool limitedRange);

// Caps of an I420 picture; colorimetry null leaves it unstated.
GstCaps* I420Caps(int width, int height, const char* colorimetry);
// A buffer holding `picture` as GStreamer lays it out, or with rows longer
// by `lumaExtra` and `chromaExtra` bytes (video meta describing them).
GstBuffer* PictureBuffer(const I420Picture& picture, int lumaExtra = 0, int chromaExtra = 0);
// The rows of an output buffer without their padding (and the palette).
Converted ReadOutput(GstBuffer* buffer, GstCaps* caps);
// An I420 buffer back into a picture.
I420Picture ReadI420(GstBuffer* buffer, GstCaps* caps);
// Splits raw I420 frames of this size, one after the other.
std::vector<I420Picture> SplitI420(const std::vector<uint8_t>& bytes, int width, int height);

// Runs a gst-launch description to its end; "" or the error's text.
std::string RunPipeline(const std::string& description, int timeoutSeconds = 60);

std::vector<uint8_t> ReadFile(const std::string& path);

// A fresh directory, removed with its files at the end of the test.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// The peak signal-to-noise ratio of two byte arrays of the same length.
double Psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b);

// An Xvfb server of the test program's own (null when Xvfb is missing).
const char* VirtualDisplayName();

}  // namespace kelmargst::test
