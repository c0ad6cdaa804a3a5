// What a display shows for each layout, as plain top-down RGB.
#pragma once

#include <cstdint>
#include <vector>

#include "layouts.h"

namespace kconvert {

struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;  // red, green, blue per pixel, top row first

  RgbImage() = default;
  RgbImage(int w, int h, uint8_t fill = 0)
      : width(w), height(h), rgb(static_cast<size_t>(w) * h * 3, fill) {}
  uint8_t* at(int x, int y) { return &rgb[(static_cast<size_t>(y) * width + x) * 3]; }
  const uint8_t* at(int x, int y) const { return &rgb[(static_cast<size_t>(y) * width + x) * 3]; }
};

// Output size of a picture of `width` x `height` in `target`'s layout: the
// picture at its true size (doubled at double size; packed rows hold whole
// pixel pairs, so an odd width gains one column).
int OutputWidth(const LayoutTarget& target, int width);
int OutputHeight(const LayoutTarget& target, int height);

// Decodes what the library wrote into `target` for a picture of the given
// true size: RGB through its bit layout or the palette behind the header,
// packed 4:2:2 through full-range BT.601 with each chroma pair repeated.
RgbImage DecodeForDisplay(const LayoutTarget& target, int width, int height);

// Repeats every pixel `factor` times in each direction.
RgbImage Enlarge(const RgbImage& image, int factor);
// Averages each `factor` x `factor` block (fewer at the edges) into a pixel.
RgbImage Shrink(const RgbImage& image, int factor);

}  // namespace kconvert
