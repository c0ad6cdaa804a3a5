// The output layouts a Kelmar() call draws, as a caller's header names them,
// in one table for the tools, the tests, the bench, the fuzz targets and the
// conformance program.  Header-only and needing nothing but kelmar.h, so
// programs that link only the public library can use it.
#pragma once

#include <cstdint>

#include "kelmar.h"

namespace kelmar {

enum class OutputLayout : int32_t { kRgb24, kRgb555, kRgb565, kPal8, kUyvy, kYuy2 };
constexpr int kOutputLayoutCount = 6;

struct OutputLayoutInfo {
  OutputLayout layout;
  const char* name;         // "rgb24", as the command line and the tables spell it
  const char* description;  // a few words for labels
  uint16_t bitCount;        // biBitCount
  uint32_t compression;     // biCompression
  int bytesPerPixel;
  // UYVY and YUY2: rows from the top down, never at double size.  The RGB
  // layouts run from the bottom up.
  bool packed;
};

// In the order of OutputLayout.
constexpr OutputLayoutInfo kOutputLayouts[kOutputLayoutCount] = {
    {OutputLayout::kRgb24, "rgb24", "24-bit BGR", 24, BI_RGB, 3, false},
    {OutputLayout::kRgb555, "rgb555", "16-bit 5-5-5", 16, BI_RGB, 2, false},
    {OutputLayout::kRgb565, "rgb565", "16-bit 5-6-5", 16, BI_BITFIELDS, 2, false},
    {OutputLayout::kPal8, "pal8", "8-bit dithered", 8, BI_RGB, 1, false},
    {OutputLayout::kUyvy, "uyvy", "packed 4:2:2", 16, KELMAR_FOURCC_UYVY, 2, true},
    {OutputLayout::kYuy2, "yuy2", "packed 4:2:2", 16, KELMAR_FOURCC_YUY2, 2, true},
};

constexpr const OutputLayoutInfo& InfoOf(OutputLayout layout) {
  return kOutputLayouts[static_cast<int32_t>(layout)];
}

}  // namespace kelmar
