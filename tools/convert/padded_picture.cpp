#include "padded_picture.h"

#include <algorithm>
#include <cstring>

namespace kconvert {
namespace {

// Copies a width x height plane into a stride-wide one of paddedHeight rows,
// repeating the last sample of each row and then the last row.
void PadPlane(const uint8_t* src, int width, int height, uint8_t* dst, int stride,
              int paddedHeight) {
  for (int y = 0; y < height; ++y) {
    uint8_t* row = dst + static_cast<size_t>(y) * stride;
    std::memcpy(row, src + static_cast<size_t>(y) * width, width);
    std::memset(row + width, row[width - 1], stride - width);
  }
  for (int y = height; y < paddedHeight; ++y) {
    std::memcpy(dst + static_cast<size_t>(y) * stride,
                dst + static_cast<size_t>(height - 1) * stride, stride);
  }
}

}  // namespace

void PaddedPicture::Layout(int width, int height) {
  width_ = width;
  height_ = height;
  if (RoundUpToMacroblock(width) == paddedWidth_ && RoundUpToMacroblock(height) == paddedHeight_) {
    return;
  }
  paddedWidth_ = RoundUpToMacroblock(width);
  paddedHeight_ = RoundUpToMacroblock(height);
  const int chromaStride = paddedWidth_ / 2;
  const int chromaRows = paddedHeight_ / 2;
  luma_.assign(static_cast<size_t>(paddedWidth_) * paddedHeight_, 0);
  chroma_.assign(2 * static_cast<size_t>(chromaStride) * chromaRows, 0);
  const uint8_t* u = chroma_.data();
  const uint8_t* v = u + static_cast<size_t>(chromaStride) * chromaRows;

  yRows_.resize(paddedHeight_);
  for (int i = 0; i < paddedHeight_; ++i) {
    yRows_[i] = luma_.data() + static_cast<size_t>(paddedHeight_ - 1 - i) * paddedWidth_;
  }
  uRows_.resize(chromaRows);
  vRows_.resize(chromaRows);
  for (int i = 0; i < chromaRows; ++i) {
    const size_t offset = static_cast<size_t>(chromaRows - 1 - i) * chromaStride;
    uRows_[i] = u + offset;
    vRows_[i] = v + offset;
  }
  planes_ = {yRows_.data(), uRows_.data(), vRows_.data()};
}

void PaddedPicture::Assign(const Frame& frame) {
  Layout(frame.width, frame.height);
  const int chromaStride = paddedWidth_ / 2;
  const int chromaRows = paddedHeight_ / 2;
  uint8_t* u = chroma_.data();
  uint8_t* v = u + static_cast<size_t>(chromaStride) * chromaRows;
  PadPlane(frame.y.data(), frame.width, frame.height, luma_.data(), paddedWidth_, paddedHeight_);
  PadPlane(frame.u.data(), frame.chromaWidth(), frame.chromaHeight(), u, chromaStride, chromaRows);
  PadPlane(frame.v.data(), frame.chromaWidth(), frame.chromaHeight(), v, chromaStride, chromaRows);
}

int MarkChangedMacroblocks(const PaddedPicture& previous, const PaddedPicture& current,
                           uint8_t* map) {
  const PlaneSet& a = previous.planes();
  const PlaneSet& b = current.planes();
  int marked = 0;
  for (int mbRow = 0; mbRow < current.mbRows(); ++mbRow) {
    for (int c = 0; c < current.mbCols(); ++c) {
      bool changed = false;
      for (int r = 16 * mbRow; r < 16 * mbRow + 16 && !changed; ++r) {
        changed = std::memcmp(a.yRows[r] + 16 * c, b.yRows[r] + 16 * c, 16) != 0;
      }
      for (int r = 8 * mbRow; r < 8 * mbRow + 8 && !changed; ++r) {
        changed = std::memcmp(a.uRows[r] + 8 * c, b.uRows[r] + 8 * c, 8) != 0 ||
                  std::memcmp(a.vRows[r] + 8 * c, b.vRows[r] + 8 * c, 8) != 0;
      }
      map[mbRow * current.mbCols() + c] = changed ? 1 : 0;
      marked += changed;
    }
  }
  return marked;
}

}  // namespace kconvert
