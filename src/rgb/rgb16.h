// What the two 16-bit converters (5-5-5 and 5-6-5) share: the pixel lookup
// with its rounding offsets, little-endian words and the double-size path.
#pragma once

#include <cstdint>

#include "common/layout_facts.h"
#include "rgb/convert_state.h"

namespace kelmar {

constexpr int kRgb16BytesPerPixel = 2;

struct ColourBytes {
  uint8_t red;
  uint8_t green;
  uint8_t blue;
};

// One pixel word of `Layout`, whose Pack() places the three colour bytes.
template <typename Layout>
inline uint16_t MakePixel(const uint8_t* lumaTable, int luma, const PixelTerms& t,
                          int32_t redBlueOffset, int32_t greenOffset) {
  const ColourBytes colours = {lumaTable[luma + t.red + redBlueOffset],
                               lumaTable[luma + t.green + greenOffset],
                               lumaTable[luma + t.blue + redBlueOffset]};
  return Layout::Pack(colours);
}

// Output words are little-endian whatever the host.
inline void StoreWord(uint8_t* out, uint16_t word) {
  out[0] = static_cast<uint8_t>(word);
  out[1] = static_cast<uint8_t>(word >> 8);
}

// Double size: each source pixel, truncated (no offsets), written twice side
// by side.
template <typename Layout>
struct Doubled16 {
  static constexpr int kBytesPerPixel = kRgb16BytesPerPixel;
  static void PutPair(const uint8_t* lumaTable, uint8_t* out, int y, const PixelTerms& t) {
    const uint16_t word = MakePixel<Layout>(lumaTable, y, t, 0, 0);
    StoreWord(out, word);
    StoreWord(out + kBytesPerPixel, word);
  }
};

}  // namespace kelmar
