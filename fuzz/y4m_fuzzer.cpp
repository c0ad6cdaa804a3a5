// Fuzzes kelmar-convert's YUV4MPEG2 input: the header and FRAME lines, the
// planes, and every frame read converted into every layout the way the tool
// does it (padding to whole macroblocks, changed-only maps, display decoding).
// Inputs are plain YUV4MPEG2 streams; the conversion settings are derived
// from the input so the corpus stays a set of ordinary files.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "convert_run.h"
#include "display_image.h"
#include "frame.h"
#include "kelmar.h"
#include "layouts.h"
#include "tool_error.h"
#include "y4m_reader.h"

namespace {

using namespace kconvert;

constexpr int kMaxFrames = 4;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "y4m_fuzzer: %s\n", what);
  std::abort();
}

uint32_t Hash(const uint8_t* data, size_t size) {
  uint32_t h = 2166136261u;
  for (size_t i = 0; i < size; ++i) h = (h ^ data[i]) * 16777619u;
  return h;
}

void ReadAndConvert(const uint8_t* data, size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  Y4mReader reader(in, "fuzz.y4m");
  const Y4mHeader& header = reader.header();
  if (header.width < 1 || header.width > kMaxSide || header.height < 1 ||
      header.height > kMaxSide || int64_t{header.width} * header.height > kMaxPixels) {
    Fail("header accepted a picture size outside the limits");
  }
  if (reader.headerBytes() > size) Fail("header longer than the input");

  // A frame larger than the whole input cannot be complete: skip it (the
  // reader's bounded path) rather than allocate the full picture first.
  const bool frameFits = FrameBytes(header.width, header.height) <= size;
  const uint32_t settings = Hash(data, size);
  const int32_t adjustments[] = {0, 1, -21, 11, INT32_MIN, INT32_MAX, -9, 214748365};
  SetDisplay(adjustments[settings & 7], adjustments[(settings >> 3) & 7],
             adjustments[(settings >> 6) & 7], adjustments[(settings >> 9) & 7]);
  const bool zoom = settings & (1u << 12);
  const bool changedOnly = settings & (1u << 13);

  std::unique_ptr<FrameConverter> converter;
  Frame frame;
  for (int n = 0; n < kMaxFrames; ++n) {
    if (!frameFits) {
      if (!reader.SkipFrame()) break;
      continue;
    }
    if (!reader.ReadFrame(frame)) break;
    if (frame.width != header.width || frame.height != header.height ||
        frame.y.size() != static_cast<size_t>(frame.width) * frame.height) {
      Fail("frame does not match the header");
    }
    if (!converter) {
      converter = std::make_unique<FrameConverter>(
          std::vector<Layout>(std::begin(kAllLayouts), std::end(kAllLayouts)), header.width,
          header.height, zoom, changedOnly);
    }
    converter->Convert(frame);
    for (const LayoutTarget& target : converter->targets()) {
      DecodeForDisplay(target, header.width, header.height);
    }
  }
  if (reader.framesSeen() > kMaxFrames) Fail("more frames than were asked for");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    ReadAndConvert(data, size);
  } catch (const kconvert::ToolError&) {
    // A rejected stream is a correct answer to a malformed one.
  }
  return 0;
}
