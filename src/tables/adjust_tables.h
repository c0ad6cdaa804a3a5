// Colour-adjustment lookup tables of the RGB layouts.
//
// A colour channel is LumaTable[Y + chroma terms (+ a small rounding offset)],
// with the chroma terms read from UTable[u] and VTable[v].  Tables are indexed
// from their index-0 entry; negative indices address entries below it.
#pragma once

#include <cstdint>

namespace kelmar {

struct ChromaTerms {
  int32_t green;  // green term of UTable / VTable
  int32_t other;  // blue term in UTable, red term in VTable
};

constexpr int kChromaTableMin = -70;
constexpr int kChromaTableMax = 329;
constexpr int kChromaTableSize = kChromaTableMax - kChromaTableMin + 1;

// Chroma coefficients: the single-precision constants widened to double.
constexpr double kUGreen = static_cast<double>(-0.34414f);
constexpr double kUBlue = static_cast<double>(1.772f);
constexpr double kVGreen = static_cast<double>(-0.71414f);
constexpr double kVRed = static_cast<double>(1.402f);
constexpr double kMaxSaturationFactor = 2.0;

// Magnitude of the largest chroma term any saturation can produce for
// samples 0..255: the terms peak at sample 0 (offset -128) and factor 2.
constexpr int TermMagnitude(double coefficient) {
  const int term = static_cast<int>(kMaxSaturationFactor * -128 * coefficient);
  return term < 0 ? -term : term;
}
constexpr int kMaxGreenSum = TermMagnitude(kUGreen) + TermMagnitude(kVGreen);
constexpr int kMaxTermMagnitude = TermMagnitude(kUBlue) > kMaxGreenSum ? TermMagnitude(kUBlue)
                                                                       : kMaxGreenSum;
static_assert(TermMagnitude(kUBlue) >= TermMagnitude(kVRed), "blue has the widest reach");
// Largest rounding offset any converter adds to a LumaTable index.
constexpr int kMaxLumaOffset = 6;

// LumaTable covers every index a converter can form at any saturation, so no
// lookup leaves the table; entries are the same formula throughout.
constexpr int kLumaTableMin = -kMaxTermMagnitude;
constexpr int kLumaTableMax = 255 + kMaxTermMagnitude + kMaxLumaOffset;
constexpr int kLumaTableSize = kLumaTableMax - kLumaTableMin + 1;

extern uint8_t LumaTableStorage[kLumaTableSize];
extern ChromaTerms UTableStorage[kChromaTableSize];
extern ChromaTerms VTableStorage[kChromaTableSize];

// Index-0 bases of the three tables.
inline constexpr uint8_t* LumaTable = LumaTableStorage - kLumaTableMin;
inline constexpr ChromaTerms* UTable = UTableStorage - kChromaTableMin;
inline constexpr ChromaTerms* VTable = VTableStorage - kChromaTableMin;

// Saturation factor shared with the packed tables: 1 + 0.1 per unit (0.1 in
// single precision), 0 below 0.01, at most 2.
double SaturationFactor(int32_t saturation);

// Rebuilds LumaTable, UTable and VTable from DisplayAdjust.  `reserved` is
// the calling export's reserved argument; it is not read.  A call with the
// values of the previous build restores that build's tables from a copy.
void BuildAdjustTables(int32_t reserved);

// Changes every time BuildAdjustTables() computes new tables, so that what is
// derived from them can be kept until they change.
extern uint64_t AdjustTablesStamp;

}  // namespace kelmar
