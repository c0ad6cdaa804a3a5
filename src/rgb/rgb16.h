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
// by side; luma row 2j to output row 4j, luma row 2j + 1 to output row
// 4j + 2.  The odd output rows are left as they are.
template <typename Layout>
void ConvertMacroblockDouble16(const AdjustTables& tables, const PlaneSet* planes, ptrdiff_t mbRow,
                               ptrdiff_t column, ptrdiff_t rowBytes, uint8_t* out) {
  const uint8_t* luma = tables.LumaTable();
  const ptrdiff_t outStride = 2 * rowBytes;
  for (int j = 0; j < 8; ++j) {
    const RowPair src = RowPairFromTables(planes, mbRow, column, j);
    uint8_t* out0 = out + 4 * j * outStride;
    uint8_t* out1 = out0 + 2 * outStride;
    for (int i = 0; i < 8; ++i) {
      const PixelTerms t = LookupTerms(tables, src.u[i], src.v[i]);
      for (int x = 2 * i; x < 2 * i + 2; ++x) {
        const uint16_t top = MakePixel<Layout>(luma, src.y0[x], t, 0, 0);
        const uint16_t bottom = MakePixel<Layout>(luma, src.y1[x], t, 0, 0);
        StoreWord(out0 + 4 * x, top);
        StoreWord(out0 + 4 * x + 2, top);
        StoreWord(out1 + 4 * x, bottom);
        StoreWord(out1 + 4 * x + 2, bottom);
      }
    }
  }
}

template <typename Layout>
KELMAR_OUT_OF_LINE void ConvertRgb16RowDouble(const RgbJob& job, ptrdiff_t mbRow, uint8_t* rowOut,
                                              const MarkedRuns& runs) {
  ForEachMarkedMacroblock(job, rowOut, runs, kRgb16BytesPerPixel, [&](ptrdiff_t c, uint8_t* out) {
    ConvertMacroblockDouble16<Layout>(job.tables->adjust, job.planes, mbRow, c, job.rowBytes, out);
  });
}

}  // namespace kelmar
