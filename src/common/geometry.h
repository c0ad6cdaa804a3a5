// The output picture a converter writes, as the exports read it from the
// caller's header: converters see this record, never the header itself.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kelmar.h"

namespace kelmar {

struct OutputGeometry {
  int32_t width;      // source pixels per row: the header's width, halved at double size
  int32_t height;     // source rows: the header's height, halved at double size
  bool zoom;          // double size: each pixel twice on every second output row
  ptrdiff_t rowStep;  // bytes from one output row to the next
};

// The RGB layouts: the header's size, halved (toward zero) at double size,
// where output rows are twice as long.
inline OutputGeometry RgbGeometry(const BITMAPINFOHEADER& header, int32_t zoom, int bytesPerPixel) {
  OutputGeometry g;
  g.zoom = zoom != 0;
  g.width = g.zoom ? header.biWidth / 2 : header.biWidth;
  g.height = g.zoom ? header.biHeight / 2 : header.biHeight;
  // In 64 bits: a header whose rows could not fit a 32-bit address space
  // still gets a defined (if unusable) step on 32-bit x86.
  g.rowStep = static_cast<ptrdiff_t>(int64_t{bytesPerPixel} * g.width * (g.zoom ? 2 : 1));
  return g;
}

// The packed layouts: two bytes per pixel at the header's size; there is no
// double size.
inline OutputGeometry PackedGeometry(const BITMAPINFOHEADER& header) {
  return {header.biWidth, header.biHeight, false,
          static_cast<ptrdiff_t>(2 * int64_t{header.biWidth})};
}

}  // namespace kelmar
