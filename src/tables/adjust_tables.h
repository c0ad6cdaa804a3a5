// Colour-adjustment lookup tables of the RGB layouts.
//
// A colour channel is LumaTable[Y + chroma terms (+ a small rounding offset)],
// with the chroma terms read from UTable[u] and VTable[v].  Tables are indexed
// from their index-0 entry; negative indices address entries below it.
#pragma once

#include <cstdint>

#include "common/layout_facts.h"
#include "tables/soft_double.h"

namespace kelmar {

struct ChromaTerms {
  int32_t green;  // green term of UTable / VTable
  int32_t other;  // blue term in UTable, red term in VTable
};

constexpr int kChromaTableMin = -70;
constexpr int kChromaTableMax = 329;
constexpr int kChromaTableSize = kChromaTableMax - kChromaTableMin + 1;

// The chroma coefficients: single-precision constants widened to double.
constexpr SoftDouble kUGreen = FloatFromBits(0xBEB0331Eu);  // -0.34414
constexpr SoftDouble kUBlue = FloatFromBits(0x3FE2D0E5u);   // 1.772
constexpr SoftDouble kVGreen = FloatFromBits(0xBF36D1E1u);  // -0.71414
constexpr SoftDouble kVRed = FloatFromBits(0x3FB374BCu);    // 1.402

// Magnitudes of the largest chroma terms any saturation can produce for
// samples 0..255: the terms peak at sample 0 (distance -128) with the factor
// held at 2, so these are trunc(256 * coefficient).
constexpr int kMaxUBlueTerm = 453;   // 1.772
constexpr int kMaxUGreenTerm = 88;   // 0.34414
constexpr int kMaxVGreenTerm = 182;  // 0.71414
constexpr int kMaxVRedTerm = 358;    // 1.402
constexpr int kMaxGreenSum = kMaxUGreenTerm + kMaxVGreenTerm;
constexpr int kMaxTermMagnitude = kMaxUBlueTerm > kMaxGreenSum ? kMaxUBlueTerm : kMaxGreenSum;
static_assert(kMaxUBlueTerm >= kMaxVRedTerm, "blue has the widest reach");

// LumaTable covers every index a converter can form at any saturation, so no
// lookup leaves the table; entries are the same formula throughout.
constexpr int kLumaTableMin = -kMaxTermMagnitude;
constexpr int kLumaTableMax = 255 + kMaxTermMagnitude + kMaxLumaOffset;
constexpr int kLumaTableSize = kLumaTableMax - kLumaTableMin + 1;

// LumaTable, UTable and VTable for one setting of brightness, contrast and
// saturation.  A table set is built once and then only read, so any number
// of calls may read it at once.
struct AdjustTables {
  uint8_t lumaStorage[kLumaTableSize];
  ChromaTerms uStorage[kChromaTableSize];
  ChromaTerms vStorage[kChromaTableSize];

  // Index-0 bases of the three tables.
  const uint8_t* LumaTable() const { return lumaStorage - kLumaTableMin; }
  const ChromaTerms* UTable() const { return uStorage - kChromaTableMin; }
  const ChromaTerms* VTable() const { return vStorage - kChromaTableMin; }
  uint8_t* LumaTable() { return lumaStorage - kLumaTableMin; }
  ChromaTerms* UTable() { return uStorage - kChromaTableMin; }
  ChromaTerms* VTable() { return vStorage - kChromaTableMin; }
};

// The factors shared with the packed tables.  Contrast: 1 + 0.05 per unit.
// Saturation: 1 + 0.1 per unit (0.1 in single precision), 0 below 0.01 (in
// single precision), at most 2.
SoftDouble ContrastFactor(int32_t contrast);
SoftDouble SaturationFactor(int32_t saturation);

// trunc(distance * gain + 0.5), each operation rounded to double: one entry
// of a luma ramp before its lift and clamp.
int64_t RoundedRamp(int32_t distance, const SoftDouble& gain);

// A level clamped to an output byte, 0 to 255.
inline uint8_t ClampLevel(int64_t level) {
  return static_cast<uint8_t>(level < 0 ? 0 : (level > 255 ? 255 : level));
}

// The tables for one setting, written through their index-0 bases.
void BuildLumaTable(int32_t brightness, int32_t contrast, uint8_t* lumaTable);
void BuildChromaTables(int32_t saturation, ChromaTerms* uTable, ChromaTerms* vTable);

// All three tables for one setting.
void BuildAdjustTables(int32_t brightness, int32_t contrast, int32_t saturation,
                       AdjustTables& tables);

}  // namespace kelmar
