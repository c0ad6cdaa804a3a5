// The fixed 256-colour palette of 8-bit output and the tables that choose
// palette indices with a 4 x 4 ordered dither.
#pragma once

#include <cstdint>

#include "kelmar.h"
#include "tables/adjust_tables.h"

namespace kelmar {

constexpr int kQuantTableSize = 290;

// The Bayer order, 0..15, row-major 4 x 4.
extern const int32_t BayerMatrix[16];

// Everything BuildDitherPalette() writes, for one setting of the adjustment
// tables.  Built once, then only read.
struct DitherTables {
  int32_t DitherMatrix[16];
  uint8_t YQuantTable[kQuantTableSize];
  uint8_t UQuantTable[kQuantTableSize];
  uint8_t VQuantTable[kQuantTableSize];
  RGBQUAD DitherPalette[256];
};

// Fills the dither matrix, the quantiser tables and the palette's grid
// entries from `adjust`.  Only ever called with (30, 238, 80, 176, 80, 176).
void BuildDitherPalette(int32_t yLow, int32_t yHigh, int32_t uLow, int32_t uHigh, int32_t vLow,
                        int32_t vHigh, const AdjustTables& adjust, DitherTables& tables);

// Clears the palette and builds everything with the fixed grid.
void BuildDitherTables(const AdjustTables& adjust, DitherTables& tables);

}  // namespace kelmar
