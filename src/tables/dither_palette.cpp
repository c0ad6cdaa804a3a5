#include "tables/dither_palette.h"

#include "tables/adjust_tables.h"

namespace kelmar {

const int32_t BayerMatrix[16] = {0, 8, 2, 10, 12, 4, 14, 6, 3, 11, 1, 9, 15, 7, 13, 5};
int32_t DitherMatrix[16];
uint8_t YQuantTable[kQuantTableSize];
uint8_t UQuantTable[kQuantTableSize];
uint8_t VQuantTable[kQuantTableSize];
RGBQUAD DitherPalette[256];

// Not built yet.
void BuildDitherPalette(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t) {}
void RebuildDitherPalette() {}
int32_t GetPalette(RGBQUAD*, uint32_t, int32_t reserved) {
  BuildAdjustTables(reserved);
  return 0;
}

}  // namespace kelmar
