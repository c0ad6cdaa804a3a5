// PackedLumaTable, PackedUTable and PackedVTable: brightness, contrast,
// saturation and U/V balance for the packed writers, one output byte per
// sample value.
#include <cmath>
#include <cstring>

#include "exports/state.h"
#include "packed/packed.h"
#include "tables/adjust_tables.h"
#include "tables/float_precision.h"

namespace kelmar {

uint8_t PackedLumaTable[256];
uint8_t PackedUTable[256];
uint8_t PackedVTable[256];

namespace {

constexpr double kContrastStep = 0.05;
// The balance step is the single-precision 0.1, as for saturation.
constexpr double kBalanceStep = static_cast<double>(0.1f);

void FillIdentity(uint8_t (&table)[256]) {
  for (int i = 0; i < 256; ++i) table[i] = static_cast<uint8_t>(i);
}

// Entry i = clamp(trunc((i - 128) * gain + 0.5) + lift), truncating toward
// zero.  Every int32 adjustment keeps |gain| below 2^27 and |lift| below
// 2^35, so the products and the sum stay far inside 64 bits.
void FillRamp(uint8_t (&table)[256], double gain, int64_t lift) {
  for (int i = 0; i < 256; ++i) {
    const double x = static_cast<double>(i - 128) * gain + 0.5;
    const int64_t level = static_cast<int64_t>(x) + lift;
    table[i] = static_cast<uint8_t>(level < 0 ? 0 : (level > 255 ? 255 : level));
  }
}

// h = 1 + 0.1 * |balance|, formed in double and rounded once to single
// precision; this is not the same value as h evaluated in float arithmetic
// (balance 18 gives 2.79999995 here, 2.80000019 there).  The store to a
// volatile float forces that one rounding also where the x87 unit would
// otherwise keep the wider value in a register.
double BalanceDivisor(int32_t balance) {
  const double magnitude = std::fabs(static_cast<double>(balance));
  const volatile float h = static_cast<float>(1.0 + kBalanceStep * magnitude);
  return h;
}

// The three tables for the adjustments `a`, at least one of them non-zero.
void FillPackedTables(const DisplayValues& a) {
  const DoublePrecisionScope precision;

  // The identity tables are their own rule: the ramp at neutral settings
  // would lift every value below 128 by one.
  if (a.brightness == 0 && a.contrast == 0) {
    FillIdentity(PackedLumaTable);
  } else {
    FillRamp(PackedLumaTable, 1.0 + kContrastStep * static_cast<double>(a.contrast),
             10 * static_cast<int64_t>(a.brightness) + 128);
  }

  if (a.saturation == 0 && a.balance == 0) {
    FillIdentity(PackedUTable);
    FillIdentity(PackedVTable);
    return;
  }
  // A positive balance weakens V, a negative one U, by the factor 1 / h.
  const double s = SaturationFactor(a.saturation);
  const double weakened = s / BalanceDivisor(a.balance);
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
