// The fixed 256-colour palette of 8-bit output and the tables that choose
// palette indices with a 4 x 4 ordered dither.
#pragma once

#include <cstdint>

#include "kelmar.h"

namespace kelmar {

constexpr int kQuantTableSize = 290;

extern const int32_t BayerMatrix[16];
extern int32_t DitherMatrix[16];
extern uint8_t YQuantTable[kQuantTableSize];
extern uint8_t UQuantTable[kQuantTableSize];
extern uint8_t VQuantTable[kQuantTableSize];
extern RGBQUAD DitherPalette[256];

// Fills DitherMatrix, the quantiser tables and the palette's grid entries.
// Reads LumaTable, UTable and VTable, which must be current.  Only ever
// called with (30, 238, 80, 176, 80, 176).
void BuildDitherPalette(int32_t yLow, int32_t yHigh, int32_t uLow, int32_t uHigh, int32_t vLow,
                        int32_t vHigh);

// Clears DitherPalette and builds it (with the tables it needs) for the
// current adjustment tables.
void RebuildDitherPalette();

// Body of DecGetPal(): rebuilds every table, copies min(count, 256) entries.
int32_t GetPalette(RGBQUAD* palette, uint32_t count, int32_t reserved);

}  // namespace kelmar
