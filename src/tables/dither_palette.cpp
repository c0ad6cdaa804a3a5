// The 8-bit palette: a grid of 14 luma by 4 U by 4 V levels, coloured with
// the adjustment tables, and the quantiser tables that map a dithered sample
// to its level's share of the palette index (luma in bits 4-7, U in bits 2-3,
// V in bits 0-1).
#include "tables/dither_palette.h"

#include <algorithm>
#include <cstring>

namespace kelmar {

const int32_t BayerMatrix[16] = {0, 8, 2, 10, 12, 4, 14, 6, 3, 11, 1, 9, 15, 7, 13, 5};

namespace {

// The grid every caller builds: luma 30..238 in 13 steps, chroma 80..176 in
// 3 steps each.
constexpr int32_t kYLow = 30, kYHigh = 238;
constexpr int32_t kULow = 80, kUHigh = 176;
constexpr int32_t kVLow = 80, kVHigh = 176;

// Level of sample `i` on a grid starting at `low` with `step`, held to
// first..last.  Integer division truncates toward zero, so the values just
// below `low` still fall into the first level.
inline int32_t Level(int32_t i, int32_t low, int32_t step, int32_t first, int32_t last) {
  return std::min(std::max((i - low) / step + first, first), last);
}

}  // namespace

void BuildDitherPalette(int32_t yLow, int32_t yHigh, int32_t uLow, int32_t uHigh, int32_t vLow,
                        int32_t vHigh, const AdjustTables& adjust, DitherTables& tables) {
  const int32_t uStep = (uHigh - uLow) / 3;
  const int32_t vStep = (vHigh - vLow) / 3;
  const int32_t yStep = (yHigh - yLow) / 13;

  // Chroma offsets: the Bayer order scaled from one luma step to one chroma
  // step.
  const int32_t scale = (uStep + vStep) / 2;
  for (int k = 0; k < 16; ++k) tables.DitherMatrix[k] = BayerMatrix[k] * scale / yStep;

  for (int32_t i = 0; i < kQuantTableSize; ++i) {
    tables.UQuantTable[i] = static_cast<uint8_t>(4 * Level(i, uLow, uStep, 0, 3));
    tables.VQuantTable[i] = static_cast<uint8_t>(Level(i, vLow, vStep, 0, 3));
    tables.YQuantTable[i] = static_cast<uint8_t>(16 * Level(i, yLow, yStep, 1, 14));
  }

  // Each grid point sits at the lower edge of its quantiser bins, so the
  // tables give its own palette index.
  for (int32_t v = vLow; v <= vHigh; v += vStep) {
    for (int32_t u = uLow; u <= uHigh; u += uStep) {
      for (int32_t y = yLow; y <= yHigh; y += yStep) {
        RGBQUAD& entry = tables.DitherPalette[tables.YQuantTable[y] + tables.UQuantTable[u] +
                                              tables.VQuantTable[v]];
        const uint8_t* luma = adjust.LumaTable();
        const ChromaTerms& uTerms = adjust.UTable()[u];
        const ChromaTerms& vTerms = adjust.VTable()[v];
        entry.rgbBlue = luma[y + uTerms.other];
        entry.rgbGreen = luma[y + uTerms.green + vTerms.green];
        entry.rgbRed = luma[y + vTerms.other];
      }
    }
  }
}

void BuildDitherTables(const AdjustTables& adjust, DitherTables& tables) {
  std::memset(tables.DitherPalette, 0, sizeof(tables.DitherPalette));
  BuildDitherPalette(kYLow, kYHigh, kULow, kUHigh, kVLow, kVHigh, adjust, tables);
}

}  // namespace kelmar
