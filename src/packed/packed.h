// The packed 4:2:2 writers (UYVY, YUY2) and their adjustment tables.
#pragma once

#include <cstdint>

#include "exports/state.h"
#include "kelmar.h"

namespace kelmar {

extern uint8_t PackedLumaTable[256];
extern uint8_t PackedUTable[256];
extern uint8_t PackedVTable[256];

// With every adjustment at zero the writers copy samples unchanged and the
// packed tables are neither built nor read.
inline bool PackedAdjustmentsActive() {
  const DisplayValues& a = DisplayAdjust;
  return a.brightness != 0 || a.contrast != 0 || a.saturation != 0 || a.balance != 0;
}

// Fills the three packed tables from DisplayAdjust; builds nothing when all
// four adjustments are zero.
void BuildPackedTables();

// Write the marked macroblocks of `planes` into `dst` as `height` rows of
// 2 * `width` bytes, last picture row first.
void PackUYVY(int32_t width, int32_t height, void* dst, const PlaneSet* planes,
              const uint8_t* mbMap);
void PackYUY2(int32_t width, int32_t height, void* dst, const PlaneSet* planes,
              const uint8_t* mbMap);

}  // namespace kelmar
