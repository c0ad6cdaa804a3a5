// Choosing a vector path for the packed writers.
#include "packed/wide_packed.h"

#include <cstring>

#include "packed/packed.h"

namespace kelmar {

#if KELMAR_HAVE_WIDE_PACKED
namespace {

bool IsIdentity(const uint8_t (&table)[256]) {
  for (int i = 0; i < 256; ++i)
    if (table[i] != i) return false;
  return true;
}

void Slice(const uint8_t (&low)[256], const uint8_t (&high)[256], SlicedTables& sliced) {
  for (int s = 0; s < 16; ++s) {
    std::memcpy(sliced.slice[s], low + 16 * s, 16);
    std::memcpy(sliced.slice[s] + 16, high + 16 * s, 16);
  }
}

}  // namespace
#endif

bool ChooseWidePacker(bool yuy2, WidePacker& packer) {
#if KELMAR_HAVE_WIDE_PACKED
  if (WideLevel == WideSimd::kNone) return false;
  packer.yuy2 = yuy2;
  packer.mapLuma = false;
  packer.mapChroma = false;
  if (PackedAdjustmentsActive()) {
    // Tables that are the identity are skipped; the others need byte
    // shuffles of 32 bytes.
    if (WideLevel < WideSimd::kAvx2) return false;
    packer.mapLuma = !IsIdentity(PackedLumaTable);
    packer.mapChroma = !IsIdentity(PackedUTable) || !IsIdentity(PackedVTable);
    if (packer.mapLuma) Slice(PackedLumaTable, PackedLumaTable, packer.luma);
    if (packer.mapChroma) Slice(PackedUTable, PackedVTable, packer.chroma);
  }
  packer.packRun = WideLevel >= WideSimd::kAvx2 ? PackRunAvx2 : PackRunSse2;
  return true;
#else
  (void)yuy2;
  (void)packer;
  return false;
#endif
}

}  // namespace kelmar
