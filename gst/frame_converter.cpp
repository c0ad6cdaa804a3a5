#include "frame_converter.h"

#include <algorithm>
#include <cstring>
#include <exception>

#include "worker_pool.h"

namespace kelmargst {
namespace {

constexpr int kMaxBands = 64;

int RoundUpToMacroblock(int n) { return (n + 15) / 16 * 16; }

// round(numerator / denominator), halves away from zero.
int RoundedQuotient(int numerator, int denominator) {
  return numerator >= 0 ? (2 * numerator + denominator) / (2 * denominator)
                        : (2 * numerator - denominator) / (2 * denominator);
}

uint8_t Clamp255(int v) { return static_cast<uint8_t>(std::min(255, std::max(0, v))); }

uint16_t BitCount(OutputFormat format) {
  switch (format) {
    case OutputFormat::kBgr: return 24;
    case OutputFormat::kRgb8p: return 8;
    default: return 16;
  }
}

uint32_t Compression(OutputFormat format) {
  switch (format) {
    case OutputFormat::kRgb16: return BI_BITFIELDS;
    case OutputFormat::kUyvy: return KELMAR_FOURCC_UYVY;
    case OutputFormat::kYuy2: return KELMAR_FOURCC_YUY2;
    default: return BI_RGB;
  }
}

// Copies `count` samples through `table` (or as they are, without one) and
// repeats the last one up to `paddedCount`.
void CopyPaddedRow(const uint8_t* src, int count, const uint8_t* table, uint8_t* dst,
                   int paddedCount) {
  if (table) {
    for (int x = 0; x < count; ++x) dst[x] = table[src[x]];
  } else {
    std::memcpy(dst, src, static_cast<size_t>(count));
  }
  std::memset(dst + count, dst[count - 1], static_cast<size_t>(paddedCount - count));
}

}  // namespace

int BytesPerPixel(OutputFormat format) { return BitCount(format) / 8; }

bool IsPacked(OutputFormat format) {
  return format == OutputFormat::kUyvy || format == OutputFormat::kYuy2;
}

bool FrameConverter::Prepare(int width, int height, OutputFormat format, bool expandLimitedRange,
                             int bands, std::string* error) {
  if (width <= 0 || height <= 0) {
    *error = "the picture has no pixels";
    return false;
  }
  const int64_t paddedWidth = (static_cast<int64_t>(width) + 15) / 16 * 16;
  const int64_t paddedHeight = (static_cast<int64_t>(height) + 15) / 16 * 16;
  // The library counts a picture's macroblocks from the header's 32-bit
  // width x height product.
  if (paddedWidth * paddedHeight > INT32_MAX) {
    *error = "the picture is too large for the library (" + std::to_string(width) + " x " +
             std::to_string(height) + ")";
    return false;
  }
  width_ = width;
  height_ = height;
  paddedWidth_ = RoundUpToMacroblock(width);
  paddedHeight_ = RoundUpToMacroblock(height);
  format_ = format;
  expandRange_ = expandLimitedRange && !IsPacked(format);
  scratchRowBytes_ = static_cast<size_t>(paddedWidth_) * BytesPerPixel(format);

  const int mbRows = paddedHeight_ / 16;
  const int mbCols = paddedWidth_ / 16;
  bands_ = std::max(1, std::min({bands, mbRows, kMaxBands}));
  try {
    const size_t lumaSize = static_cast<size_t>(paddedWidth_) * paddedHeight_;
    luma_.assign(lumaSize, 0);
    chroma_.assign(lumaSize / 2, 0);
    pixels_.assign(scratchRowBytes_ * paddedHeight_, 0);
    map_.assign(static_cast<size_t>(mbRows) * mbCols, 1);
    yRows_.assign(paddedHeight_, nullptr);
    uRows_.assign(paddedHeight_ / 2, nullptr);
    vRows_.assign(paddedHeight_ / 2, nullptr);
    bandList_.assign(bands_, Band{});
  } catch (const std::exception&) {
    *error = "out of memory for the scratch pictures of " + std::to_string(width) + " x " +
             std::to_string(height);
    luma_ = {};
    chroma_ = {};
    pixels_ = {};
    bands_ = 0;
    return false;
  }
  for (int b = 0; b < bands_; ++b) {
    bandList_[b].firstMbRow = b * mbRows / bands_;
    bandList_[b].endMbRow = (b + 1) * mbRows / bands_;
  }
  for (int v = 0; v < 256; ++v) {
    lumaRange_[v] = Clamp255(RoundedQuotient((v - 16) * 255, 219));
    chromaRange_[v] = Clamp255(RoundedQuotient((v - 128) * 255, 224) + 128);
  }
  return true;
}

bool FrameConverter::Convert(const InputFrame& in, const OutputFrame& out, WorkerPool* pool) {
  FrameJob job = {};
  job.self = this;
  job.in = &in;
  job.out = &out;
  // In place: whole macroblock columns, chroma rows exactly half the luma
  // step apart, the samples as the library reads them, and output rows back
  // to back.  The last macroblock row of a picture whose height is not a
  // multiple of 16 goes through scratch either way.
  const bool wholeColumns = width_ % 16 == 0;
  job.inputDirect = wholeColumns && !expandRange_ && in.strides[0] == 2 * in.strides[1] &&
                    in.strides[0] == 2 * in.strides[2];
  job.outputDirect = wholeColumns && static_cast<size_t>(out.stride) == scratchRowBytes_;

  if (pool && bands_ > 1) {
    pool->Run(bands_, RunBand, &job);
  } else {
    for (int b = 0; b < bands_; ++b) RunBand(&job, b);
  }

  const bool tail = height_ % 16 != 0 && (job.inputDirect || job.outputDirect);
  lastPath_.paddedInput = !job.inputDirect;
  lastPath_.paddedOutput = !job.outputDirect;
  lastPath_.paddedTail = tail;

  if (out.palette) {
    const RGBQUAD* colors = bandList_[0].info.colors;
    for (int i = 0; i < 256; ++i) {
      out.palette[i] = 0xff000000u | static_cast<uint32_t>(colors[i].rgbRed) << 16 |
                       static_cast<uint32_t>(colors[i].rgbGreen) << 8 | colors[i].rgbBlue;
    }
  }
  for (int b = 0; b < bands_; ++b)
    if (job.failed[b]) return false;
  return true;
}

void FrameConverter::RunBand(void* context, int band) {
  auto* job = static_cast<FrameJob*>(context);
  job->failed[band] = !job->self->ConvertBand(*job, job->self->bandList_[band]);
}

bool FrameConverter::ConvertBand(const FrameJob& job, Band& band) {
  const int wholeMbRows = height_ / 16;
  const bool anyDirect = job.inputDirect || job.outputDirect;
  if (!anyDirect || band.endMbRow <= wholeMbRows) {
    return ConvertRows(job, band, band.firstMbRow, band.endMbRow, job.inputDirect,
                       job.outputDirect);
  }
  // The rows that can be used in place, then the partial last macroblock row
  // through scratch, each as a picture of its own.
  bool ok = true;
  if (band.firstMbRow < wholeMbRows) {
    ok = ConvertRows(job, band, band.firstMbRow, wholeMbRows, job.inputDirect, job.outputDirect);
  }
  return ConvertRows(job, band, wholeMbRows, band.endMbRow, false, false) && ok;
}

bool FrameConverter::ConvertRows(const FrameJob& job, Band& band, int firstMbRow, int endMbRow,
                                 bool inputDirect, bool outputDirect) {
  const int firstRow = 16 * firstMbRow;
  const int endRow = 16 * endMbRow;
  if (inputDirect) {
    PointRows(job.in->planes, job.in->strides, firstRow, endRow);
  } else {
    PadInputRows(*job.in, firstRow, endRow);
    const int chromaStride = paddedWidth_ / 2;
    const uint8_t* planes[3] = {luma_.data(), chroma_.data(), chroma_.data() + luma_.size() / 4};
    const int strides[3] = {paddedWidth_, chromaStride, chromaStride};
    PointRows(planes, strides, firstRow, endRow);
  }
  uint8_t* dst = outputDirect ? job.out->pixels + static_cast<size_t>(firstRow) * job.out->stride
                              : pixels_.data() + firstRow * scratchRowBytes_;

  BITMAPINFOHEADER& h = band.info.header;
  std::memset(&h, 0, sizeof h);
  h.biSize = sizeof h;
  h.biWidth = paddedWidth_;
  h.biHeight = endRow - firstRow;
  h.biPlanes = 1;
  h.biBitCount = BitCount(format_);
  h.biCompression = Compression(format_);
  h.biSizeImage = static_cast<uint32_t>(scratchRowBytes_ * (endRow - firstRow));

  const size_t mbCols = static_cast<size_t>(paddedWidth_) / 16;
  uint8_t* map = map_.data() + firstMbRow * mbCols;
  std::memset(map, 1, (endMbRow - firstMbRow) * mbCols);
  const PlaneSet planes = {yRows_.data() + firstRow, uRows_.data() + firstRow / 2,
                           vRows_.data() + firstRow / 2};
  if (Kelmar(&h, dst, &planes, map, 0, 0) != 0) return false;
  if (!outputDirect) CopyOutputRows(*job.out, firstRow, std::min(endRow, height_));
  return true;
}

// Row tables of rows [firstRow, endRow) (luma; chroma half of them).  The
// RGB layouts write table row 0 first, the packed ones the last table row
// first, so the packed tables run bottom-up to keep the top row first.
void FrameConverter::PointRows(const uint8_t* const planes[3], const int strides[3], int firstRow,
                               int endRow) {
  const bool bottomUp = IsPacked(format_);
  for (int i = 0; i < endRow - firstRow; ++i) {
    const int row = bottomUp ? endRow - 1 - i : firstRow + i;
    yRows_[firstRow + i] = planes[0] + static_cast<ptrdiff_t>(row) * strides[0];
  }
  const int first = firstRow / 2;
  const int end = endRow / 2;
  for (int i = 0; i < end - first; ++i) {
    const int row = bottomUp ? end - 1 - i : first + i;
    uRows_[first + i] = planes[1] + static_cast<ptrdiff_t>(row) * strides[1];
    vRows_[first + i] = planes[2] + static_cast<ptrdiff_t>(row) * strides[2];
  }
}

// Copies rows [firstRow, endRow) of the frame into the padded scratch
// picture, expanding limited-range samples when asked, and repeats the edge
// samples into the columns and rows beyond the picture.
void FrameConverter::PadInputRows(const InputFrame& in, int firstRow, int endRow) {
  const uint8_t* lumaTable = expandRange_ ? lumaRange_ : nullptr;
  const uint8_t* chromaTable = expandRange_ ? chromaRange_ : nullptr;
  for (int y = firstRow; y < endRow; ++y) {
    const int source = std::min(y, height_ - 1);
    CopyPaddedRow(in.planes[0] + static_cast<ptrdiff_t>(source) * in.strides[0], width_, lumaTable,
                  luma_.data() + static_cast<size_t>(y) * paddedWidth_, paddedWidth_);
  }
  const int chromaWidth = (width_ + 1) / 2;
  const int chromaHeight = (height_ + 1) / 2;
  const int chromaStride = paddedWidth_ / 2;
  uint8_t* planes[2] = {chroma_.data(), chroma_.data() + luma_.size() / 4};
  for (int p = 0; p < 2; ++p) {
    for (int y = firstRow / 2; y < endRow / 2; ++y) {
      const int source = std::min(y, chromaHeight - 1);
      CopyPaddedRow(in.planes[1 + p] + static_cast<ptrdiff_t>(source) * in.strides[1 + p],
                    chromaWidth, chromaTable, planes[p] + static_cast<size_t>(y) * chromaStride,
                    chromaStride);
    }
  }
}

void FrameConverter::CopyOutputRows(const OutputFrame& out, int firstRow, int endRow) const {
  // Packed rows hold whole pixel pairs.
  const int pixels = IsPacked(format_) ? (width_ + 1) / 2 * 2 : width_;
  const size_t rowBytes = static_cast<size_t>(pixels) * BytesPerPixel(format_);
  for (int y = firstRow; y < endRow; ++y) {
    std::memcpy(out.pixels + static_cast<ptrdiff_t>(y) * out.stride,
                pixels_.data() + y * scratchRowBytes_, rowBytes);
  }
}

}  // namespace kelmargst
