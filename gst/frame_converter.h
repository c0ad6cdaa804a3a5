// Converts GStreamer I420 frames with the library, band by band.
//
// The library converts whole 16 x 16 macroblocks, steps from row to row by
// distance (the chroma step half the luma step) and writes output rows back
// to back.  A frame whose planes and output rows already have that shape is
// converted in place; otherwise the rows go through padded scratch pictures
// made once per size by Prepare(), never per frame.
#pragma once

#include <kelmar.h>

#include <cstdint>
#include <string>
#include <vector>

namespace kelmargst {

class WorkerPool;

enum class OutputFormat { kBgr, kRgb15, kRgb16, kRgb8p, kUyvy, kYuy2 };

int BytesPerPixel(OutputFormat format);
bool IsPacked(OutputFormat format);

// Where the last frame's rows went (for the tests and the documentation).
struct FramePath {
  bool paddedInput = false;   // input rows copied (padded, range expanded)
  bool paddedOutput = false;  // output rows written to scratch, then copied
  bool paddedTail = false;    // only the last, partial macroblock row padded
};

struct InputFrame {
  const uint8_t* planes[3];  // Y, U, V
  int strides[3];
};

struct OutputFrame {
  uint8_t* pixels;
  int stride;
  uint32_t* palette;  // RGB8P: 256 entries 0xAARRGGBB; otherwise null
};

class FrameConverter {
 public:
  // Sizes the scratch pictures and tables for width x height frames split
  // into at most `bands` bands.  False, with `error` set, for a size the
  // library cannot take or memory that cannot be had.
  bool Prepare(int width, int height, OutputFormat format, bool expandLimitedRange, int bands,
               std::string* error);

  // False if the library refused a call (nothing else can fail here).
  bool Convert(const InputFrame& in, const OutputFrame& out, WorkerPool* pool);

  const FramePath& lastPath() const { return lastPath_; }
  int bands() const { return bands_; }

 private:
  struct BitmapInfo {
    BITMAPINFOHEADER header;
    RGBQUAD colors[256];
  };
  struct Band {
    int firstMbRow;
    int endMbRow;
    BitmapInfo info;
  };
  struct FrameJob {
    FrameConverter* self;
    const InputFrame* in;
    const OutputFrame* out;
    bool inputDirect;
    bool outputDirect;
    bool failed[64];
  };

  static void RunBand(void* job, int band);
  bool ConvertBand(const FrameJob& job, Band& band);
  bool ConvertRows(const FrameJob& job, Band& band, int firstMbRow, int endMbRow, bool inputDirect,
                   bool outputDirect);
  void PadInputRows(const InputFrame& in, int firstRow, int endRow);
  void PointRows(const uint8_t* const planes[3], const int strides[3], int firstRow, int endRow);
  void CopyOutputRows(const OutputFrame& out, int firstRow, int endRow) const;

  int width_ = 0;
  int height_ = 0;
  int paddedWidth_ = 0;
  int paddedHeight_ = 0;
  OutputFormat format_ = OutputFormat::kBgr;
  bool expandRange_ = false;
  int bands_ = 0;
  size_t scratchRowBytes_ = 0;

  std::vector<uint8_t> luma_;    // paddedWidth_ x paddedHeight_
  std::vector<uint8_t> chroma_;  // U then V, each paddedWidth_/2 x paddedHeight_/2
  std::vector<uint8_t> pixels_;  // padded output, rows back to back
  std::vector<uint8_t> map_;     // one byte per macroblock
  std::vector<const uint8_t*> yRows_, uRows_, vRows_;
  std::vector<Band> bandList_;
  uint8_t lumaRange_[256];
  uint8_t chromaRange_[256];
  FramePath lastPath_;
};

}  // namespace kelmargst
