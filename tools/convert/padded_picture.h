// The picture as the library sees it: planes padded to whole macroblocks,
// with row tables, and the macroblock map of what changed between frames.
#pragma once

#include <cstdint>
#include <vector>

#include "frame.h"
#include "kelmar.h"

namespace kconvert {

inline int RoundUpToMacroblock(int size) { return (size + 15) / 16 * 16; }

// The library converts whole 16 x 16 macroblocks, so the planes are padded
// on the right and at the bottom by repeating the edge samples.
//
// The row tables run from the bottom row up.  The RGB converters put table
// row 0 first in the buffer, which makes it a bottom-up bitmap as .bmp files
// store it; the packed writers start from the last table row, which puts the
// top of the picture first, as raw UYVY / YUY2 streams store it.
class PaddedPicture {
 public:
  PaddedPicture() = default;
  PaddedPicture(const PaddedPicture&) = delete;
  PaddedPicture& operator=(const PaddedPicture&) = delete;
  PaddedPicture(PaddedPicture&&) = default;  // moving keeps the row tables valid
  PaddedPicture& operator=(PaddedPicture&&) = default;

  void Assign(const Frame& frame);

  int width() const { return width_; }  // the true size
  int height() const { return height_; }
  int paddedWidth() const { return paddedWidth_; }
  int paddedHeight() const { return paddedHeight_; }
  int mbCols() const { return paddedWidth_ / 16; }
  int mbRows() const { return paddedHeight_ / 16; }
  int macroblocks() const { return mbCols() * mbRows(); }
  const PlaneSet& planes() const { return planes_; }

 private:
  void Layout(int width, int height);

  int width_ = 0, height_ = 0;
  int paddedWidth_ = 0, paddedHeight_ = 0;
  std::vector<uint8_t> luma_;
  std::vector<uint8_t> chroma_;  // U plane, then V plane: one constant distance
  std::vector<const uint8_t*> yRows_, uRows_, vRows_;
  PlaneSet planes_{};
};

// Sets map[i] to 1 where macroblock i differs between the two pictures (of
// one size) and to 0 elsewhere, in the library's map order; returns the
// number marked.
int MarkChangedMacroblocks(const PaddedPicture& previous, const PaddedPicture& current,
                           uint8_t* map);

}  // namespace kconvert
