// LumaTable, UTable and VTable: brightness, contrast and saturation folded
// into lookup tables, so the converters only read tables and add integers.
#include "tables/adjust_tables.h"

#include "tables/soft_double.h"

namespace kelmar {

namespace {

// The constants of the formulas, by their IEEE-754 bits; 0.1 and 0.01 are
// single-precision constants widened to double.
constexpr SoftDouble kOne = DoubleFromBits(0x3FF0000000000000u);
constexpr SoftDouble kTwo = DoubleFromBits(0x4000000000000000u);
constexpr SoftDouble kHalf = DoubleFromBits(0x3FE0000000000000u);
constexpr SoftDouble kContrastStep = DoubleFromBits(0xBFA999999999999Au);  // -0.05
constexpr SoftDouble kSaturationStep = FloatFromBits(0x3DCCCCCDu);         // 0.1f
constexpr SoftDouble kSaturationFloor = FloatFromBits(0x3C23D70Au);        // 0.01f

// trunc(c * coefficient), c = s * (j - 128).
inline int32_t ChromaTerm(const SoftDouble& c, const SoftDouble& coefficient) {
  return static_cast<int32_t>(TruncateToInteger(Multiply(c, coefficient)));
}

}  // namespace

SoftDouble ContrastFactor(int32_t contrast) {
  return Subtract(kOne, Multiply(FromInteger(contrast), kContrastStep));
}

int64_t RoundedRamp(int32_t distance, const SoftDouble& gain) {
  return TruncateToInteger(Add(Multiply(FromInteger(distance), gain), kHalf));
}

SoftDouble SaturationFactor(int32_t saturation) {
  SoftDouble s = Add(Multiply(FromInteger(saturation), kSaturationStep), kOne);
  if (IsLess(s, kSaturationFloor)) s = FromInteger(0);
  if (IsLess(kTwo, s)) s = kTwo;
  return s;
}

// 10 levels per unit of brightness around 128, contrast scaling the distance
// from 128 by 1 + 0.05 per unit.  Any int32 pair gives a defined, clamped
// table: the sums are formed in 64 bits, where no setting can overflow.
void BuildLumaTable(int32_t brightness, int32_t contrast, uint8_t* lumaTable) {
  const SoftDouble k = ContrastFactor(contrast);
  const int64_t lift = 10 * static_cast<int64_t>(brightness) + 128;
  for (int i = kLumaTableMin; i <= kLumaTableMax; ++i)
    lumaTable[i] = ClampLevel(RoundedRamp(i - 128, k) + lift);
}

void BuildChromaTables(int32_t saturation, ChromaTerms* uTable, ChromaTerms* vTable) {
  const SoftDouble s = SaturationFactor(saturation);
  for (int j = kChromaTableMin; j <= kChromaTableMax; ++j) {
    const SoftDouble c = Multiply(s, FromInteger(j - 128));
    uTable[j] = {ChromaTerm(c, kUGreen), ChromaTerm(c, kUBlue)};
    vTable[j] = {ChromaTerm(c, kVGreen), ChromaTerm(c, kVRed)};
  }
}

void BuildAdjustTables(int32_t brightness, int32_t contrast, int32_t saturation,
                       AdjustTables& tables) {
  BuildLumaTable(brightness, contrast, tables.LumaTable());
  BuildChromaTables(saturation, tables.UTable(), tables.VTable());
}

}  // namespace kelmar
