// What the two 16-bit converters (5-5-5 and 5-6-5) share: their one per-call
// record, the driver over macroblock rows, the walk over one macroblock row,
// the pixel lookup with its rounding offsets and the double-size path.
#pragma once

#include <cstdint>

#include "kelmar.h"
#include "rgb/convert_state.h"
#include "rgb/staging.h"
#include "tables/adjust_tables.h"

namespace kelmar {

// The one ConvertState of both 16-bit converters.
extern ConvertState Rgb16State;

constexpr int kRgb16BytesPerPixel = 2;

// Offsets added to the LumaTable index before the lookup.  Red and blue are
// rounded to the nearest output level; green alternates between two offsets
// by the parity of x + y, a 2 x 2 checkerboard dither on top of the rounding.
struct LumaOffsets {
  int32_t redBlue;
  int32_t greenEven;  // x + y even
  int32_t greenOdd;   // x + y odd
};

struct ColourBytes {
  uint8_t red;
  uint8_t green;
  uint8_t blue;
};

// One pixel word of `Layout`, whose Pack() places the three colour bytes.
template <typename Layout>
inline uint16_t MakePixel(int luma, const PixelTerms& t, int32_t redBlueOffset,
                          int32_t greenOffset) {
  const ColourBytes colours = {LumaTable[luma + t.red + redBlueOffset],
                               LumaTable[luma + t.green + greenOffset],
                               LumaTable[luma + t.blue + redBlueOffset]};
  return Layout::Pack(colours);
}

// Output words are little-endian whatever the host.
inline void StoreWord(uint8_t* out, uint16_t word) {
  out[0] = static_cast<uint8_t>(word);
  out[1] = static_cast<uint8_t>(word >> 8);
}

// The rows of row pair `j` of macroblock (`mbRow`, `column`), each from its
// own table entry.
inline RowPairSource RowPairFromTables(const PlaneSet* planes, int32_t mbRow, int32_t column,
                                       int j) {
  const int32_t lumaRow = 16 * mbRow + 2 * j;
  const int32_t chromaRow = 8 * mbRow + j;
  return {planes->yRows[lumaRow] + 16 * column, planes->yRows[lumaRow + 1] + 16 * column,
          planes->uRows[chromaRow] + 8 * column, planes->vRows[chromaRow] + 8 * column};
}

// Double size: each source pixel, truncated (no offsets), written twice side by side;
// luma row 2j to output row 4j, luma row 2j + 1 to output row 4j + 2.  The
// odd output rows are left as they are.
template <typename Layout>
void ConvertMacroblockDouble16(const PlaneSet* planes, int32_t mbRow, int32_t column,
                               int64_t rowBytes, uint8_t* out) {
  const int64_t outStride = 2 * rowBytes;
  for (int j = 0; j < 8; ++j) {
    const RowPairSource src = RowPairFromTables(planes, mbRow, column, j);
    uint8_t* out0 = out + 4 * j * outStride;
    uint8_t* out1 = out0 + 2 * outStride;
    for (int i = 0; i < 8; ++i) {
      const PixelTerms t = LookupTerms(src.u[i], src.v[i]);
      for (int x = 2 * i; x < 2 * i + 2; ++x) {
        const uint16_t top = MakePixel<Layout>(src.y0[x], t, 0, 0);
        const uint16_t bottom = MakePixel<Layout>(src.y1[x], t, 0, 0);
        StoreWord(out0 + 4 * x, top);
        StoreWord(out0 + 4 * x + 2, top);
        StoreWord(out1 + 4 * x, bottom);
        StoreWord(out1 + 4 * x + 2, bottom);
      }
    }
  }
}

}  // namespace kelmar
