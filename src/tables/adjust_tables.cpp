// LumaTable, UTable and VTable: brightness, contrast and saturation folded
// into lookup tables, so the converters only read tables and add integers.
#include "tables/adjust_tables.h"

#include <cstring>

#include "exports/state.h"
#include "tables/float_precision.h"

namespace kelmar {

uint8_t LumaTableStorage[kLumaTableSize];
ChromaTerms UTableStorage[kChromaTableSize];
ChromaTerms VTableStorage[kChromaTableSize];

namespace {

constexpr double kSaturationStep = static_cast<double>(0.1f);
constexpr double kSaturationFloor = static_cast<double>(0.01f);

// Truncation toward zero of a value known to fit in 64 bits.
inline int64_t Truncate(double x) { return static_cast<int64_t>(x); }

inline uint8_t ClampLevel(int64_t v) {
  return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

// 10 levels per unit of brightness around 128, contrast scaling the distance
// from 128 by 1 + 0.05 per unit.  Any int32 pair gives a defined, clamped
// table: the sums are formed in 64 bits, where no setting can overflow.
void BuildLumaTable(int32_t brightness, int32_t contrast) {
  const double k = 1.0 - static_cast<double>(contrast) * -0.05;
  const int64_t lift = 10 * static_cast<int64_t>(brightness) + 128;
  for (int i = kLumaTableMin; i <= kLumaTableMax; ++i) {
    const double x = static_cast<double>(i - 128) * k + 0.5;
    LumaTable[i] = ClampLevel(Truncate(x) + lift);
  }
}

void BuildChromaTables(double s) {
  for (int j = kChromaTableMin; j <= kChromaTableMax; ++j) {
    const double c = s * static_cast<double>(j - 128);
    UTable[j] = {static_cast<int32_t>(c * kUGreen), static_cast<int32_t>(c * kUBlue)};
    VTable[j] = {static_cast<int32_t>(c * kVGreen), static_cast<int32_t>(c * kVRed)};
  }
}

}  // namespace

double SaturationFactor(int32_t saturation) {
  double s = static_cast<double>(saturation) * kSaturationStep + 1.0;
  if (s < kSaturationFloor) s = 0.0;
  if (s > kMaxSaturationFactor) s = kMaxSaturationFactor;
  return s;
}

uint64_t AdjustTablesStamp;

// The tables depend on brightness, contrast and saturation alone.  A copy of
// the last build is kept, and a call with the same values restores the
// tables from it: a few kilobytes copied instead of two thousand double
// evaluations, with the same result even if the tables were written since.
void BuildAdjustTables(int32_t /*reserved*/) {
  static bool built = false;
  static DisplayValues builtFor;
  static uint8_t lumaCopy[kLumaTableSize];
  static ChromaTerms uCopy[kChromaTableSize];
  static ChromaTerms vCopy[kChromaTableSize];
  DisplayValues wanted = DisplayAdjust;
  wanted.balance = 0;  // not used by these tables
  if (built && wanted == builtFor) {
    std::memcpy(LumaTableStorage, lumaCopy, sizeof(lumaCopy));
    std::memcpy(UTableStorage, uCopy, sizeof(uCopy));
    std::memcpy(VTableStorage, vCopy, sizeof(vCopy));
    return;
  }
  {
    const DoublePrecisionScope precision;
    BuildLumaTable(wanted.brightness, wanted.contrast);
    BuildChromaTables(SaturationFactor(wanted.saturation));
  }
  std::memcpy(lumaCopy, LumaTableStorage, sizeof(lumaCopy));
  std::memcpy(uCopy, UTableStorage, sizeof(uCopy));
  std::memcpy(vCopy, VTableStorage, sizeof(vCopy));
  built = true;
  builtFor = wanted;
  ++AdjustTablesStamp;
}

}  // namespace kelmar
