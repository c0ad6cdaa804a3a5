#include "packed/packed.h"

namespace kelmar {

uint8_t PackedLumaTable[256];
uint8_t PackedUTable[256];
uint8_t PackedVTable[256];

// Not built yet: draw nothing.
void BuildPackedTables() {}
void PackUYVY(int32_t, int32_t, void*, const PlaneSet*, const uint8_t*) {}
void PackYUY2(int32_t, int32_t, void*, const PlaneSet*, const uint8_t*) {}

}  // namespace kelmar
