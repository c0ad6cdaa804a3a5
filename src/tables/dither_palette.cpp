// The 8-bit palette: a grid of 14 luma by 4 U by 4 V levels, coloured with
// the adjustment tables, and the quantiser tables that map a dithered sample
// to its level's share of the palette index (luma in bits 4-7, U in bits 2-3,
// V in bits 0-1).
#include "tables/dither_palette.h"

#include <algorithm>
#include <cstring>

#include "tables/adjust_tables.h"

namespace kelmar {

const int32_t BayerMatrix[16] = {0, 8, 2, 10, 12, 4, 14, 6, 3, 11, 1, 9, 15, 7, 13, 5};
int32_t DitherMatrix[16];
uint8_t YQuantTable[kQuantTableSize];
uint8_t UQuantTable[kQuantTableSize];
uint8_t VQuantTable[kQuantTableSize];
RGBQUAD DitherPalette[256];

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
                        int32_t vHigh) {
  const int32_t uStep = (uHigh - uLow) / 3;
  const int32_t vStep = (vHigh - vLow) / 3;
  const int32_t yStep = (yHigh - yLow) / 13;

  // Chroma offsets: the Bayer order scaled from one luma step to one chroma
  // step.
  const int32_t scale = (uStep + vStep) / 2;
  for (int k = 0; k < 16; ++k) DitherMatrix[k] = BayerMatrix[k] * scale / yStep;

  for (int32_t i = 0; i < kQuantTableSize; ++i) {
    UQuantTable[i] = static_cast<uint8_t>(4 * Level(i, uLow, uStep, 0, 3));
    VQuantTable[i] = static_cast<uint8_t>(Level(i, vLow, vStep, 0, 3));
    YQuantTable[i] = static_cast<uint8_t>(16 * Level(i, yLow, yStep, 1, 14));
  }

  // Each grid point sits at the lower edge of its quantiser bins, so the
  // tables give its own palette index.
  for (int32_t v = vLow; v <= vHigh; v += vStep) {
    for (int32_t u = uLow; u <= uHigh; u += uStep) {
      for (int32_t y = yLow; y <= yHigh; y += yStep) {
        RGBQUAD& entry = DitherPalette[YQuantTable[y] + UQuantTable[u] + VQuantTable[v]];
        const ChromaTerms& uTerms = UTable[u];
        const ChromaTerms& vTerms = VTable[v];
        entry.rgbBlue = LumaTable[y + uTerms.other];
        entry.rgbGreen = LumaTable[y + uTerms.green + vTerms.green];
        entry.rgbRed = LumaTable[y + vTerms.other];
      }
    }
  }
}

// The grid is fixed, so everything built here depends on the adjustment
// tables alone, and BuildAdjustTables() stamps every new build of those.  A
// copy of the last build is kept and restored while the stamp is unchanged:
// a few kilobytes copied instead of some nine hundred integer divisions.
void RebuildDitherPalette() {
  struct Built {
    int32_t ditherMatrix[16];
    uint8_t yQuant[kQuantTableSize], uQuant[kQuantTableSize], vQuant[kQuantTableSize];
    RGBQUAD palette[256];
  };
  static Built copy;
  static bool built = false;
  static uint64_t builtStamp = 0;
  if (built && builtStamp == AdjustTablesStamp) {
    std::memcpy(DitherMatrix, copy.ditherMatrix, sizeof(copy.ditherMatrix));
    std::memcpy(YQuantTable, copy.yQuant, sizeof(copy.yQuant));
    std::memcpy(UQuantTable, copy.uQuant, sizeof(copy.uQuant));
    std::memcpy(VQuantTable, copy.vQuant, sizeof(copy.vQuant));
    std::memcpy(DitherPalette, copy.palette, sizeof(copy.palette));
    return;
  }
  std::memset(DitherPalette, 0, sizeof(DitherPalette));
  BuildDitherPalette(kYLow, kYHigh, kULow, kUHigh, kVLow, kVHigh);
  std::memcpy(copy.ditherMatrix, DitherMatrix, sizeof(copy.ditherMatrix));
  std::memcpy(copy.yQuant, YQuantTable, sizeof(copy.yQuant));
  std::memcpy(copy.uQuant, UQuantTable, sizeof(copy.uQuant));
  std::memcpy(copy.vQuant, VQuantTable, sizeof(copy.vQuant));
  std::memcpy(copy.palette, DitherPalette, sizeof(copy.palette));
  built = true;
  builtStamp = AdjustTablesStamp;
}

int32_t GetPalette(RGBQUAD* palette, uint32_t count, int32_t reserved) {
  BuildAdjustTables(reserved);
  RebuildDitherPalette();
  const uint32_t n = count < 256 ? count : 256;
  if (n > 0) std::memcpy(palette, DitherPalette, n * sizeof(RGBQUAD));
  return static_cast<int32_t>(n);
}

}  // namespace kelmar
