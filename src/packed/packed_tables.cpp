// PackedLumaTable, PackedUTable and PackedVTable: brightness, contrast,
// saturation and U/V balance for the packed writers, one output byte per
// sample value.
#include <cstring>

#include "exports/state.h"
#include "packed/packed.h"
#include "tables/adjust_tables.h"
#include "tables/soft_double.h"

namespace kelmar {

uint8_t PackedLumaTable[256];
uint8_t PackedUTable[256];
uint8_t PackedVTable[256];

namespace {

// The balance step is the single-precision 0.1, as for saturation.
constexpr SoftDouble kBalanceStep = FloatFromBits(0x3DCCCCCDu);
constexpr SoftDouble kOne = DoubleFromBits(0x3FF0000000000000u);

void FillIdentity(uint8_t (&table)[256]) {
  for (int i = 0; i < 256; ++i) table[i] = static_cast<uint8_t>(i);
}

// Entry i = clamp(trunc((i - 128) * gain + 0.5) + lift), truncating toward
// zero.  Every int32 adjustment keeps |gain| below 2^27 and |lift| below
// 2^35, so the products and the sum stay far inside 64 bits.
void FillRamp(uint8_t (&table)[256], const SoftDouble& gain, int64_t lift) {
  for (int i = 0; i < 256; ++i) {
    const int64_t level = RoundedRamp(i - 128, gain) + lift;
    table[i] = static_cast<uint8_t>(level < 0 ? 0 : (level > 255 ? 255 : level));
  }
}

// h = 1 + 0.1 * |balance|, formed in double and rounded once to single
// precision; this is not the same value as h evaluated in float arithmetic
// (balance 18 gives 2.79999995 here, 2.80000019 there).
SoftDouble BalanceDivisor(int32_t balance) {
  const SoftDouble magnitude = Magnitude(FromInteger(balance));
  return RoundToFloat(Add(kOne, Multiply(kBalanceStep, magnitude)));
}

// The three tables for the adjustments `a`, at least one of them non-zero.
void FillPackedTables(const DisplayValues& a) {
  // The identity tables are their own rule: the ramp at neutral settings
  // would lift every value below 128 by one.
  if (a.brightness == 0 && a.contrast == 0) {
    FillIdentity(PackedLumaTable);
  } else {
    FillRamp(PackedLumaTable, ContrastFactor(a.contrast),
             10 * static_cast<int64_t>(a.brightness) + 128);
  }

  if (a.saturation == 0 && a.balance == 0) {
    FillIdentity(PackedUTable);
    FillIdentity(PackedVTable);
    return;
  }
  // A positive balance weakens V, a negative one U, by the factor 1 / h.
  const SoftDouble s = SaturationFactor(a.saturation);
  const SoftDouble weakened = Divide(s, BalanceDivisor(a.balance));
  FillRamp(PackedUTable, a.balance < 0 ? weakened : s, 128);
  FillRamp(PackedVTable, a.balance > 0 ? weakened : s, 128);
}

}  // namespace

void BuildPackedTables() {
  if (!PackedAdjustmentsActive()) return;
  // A copy of the last build is kept; a call with the same four values
  // restores the tables from it instead of evaluating 768 ramp entries.
  static bool built = false;
  static DisplayValues builtFor;
  static uint8_t copy[3][256];
  uint8_t* const tables[3] = {PackedLumaTable, PackedUTable, PackedVTable};
  if (built && DisplayAdjust == builtFor) {
    for (int t = 0; t < 3; ++t) std::memcpy(tables[t], copy[t], 256);
    return;
  }
  FillPackedTables(DisplayAdjust);
  for (int t = 0; t < 3; ++t) std::memcpy(copy[t], tables[t], 256);
  built = true;
  builtFor = DisplayAdjust;
}

}  // namespace kelmar
