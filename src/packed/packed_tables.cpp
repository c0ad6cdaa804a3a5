// PackedLumaTable, PackedUTable and PackedVTable: brightness, contrast,
// saturation and U/V balance for the packed writers, one output byte per
// sample value.
#include "packed/packed_tables.h"

#include <cstring>

#include "tables/adjust_tables.h"
#include "tables/soft_double.h"

namespace kelmar {
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

bool IsIdentity(const uint8_t (&table)[256]) {
  for (int i = 0; i < 256; ++i)
    if (table[i] != i) return false;
  return true;
}

// Entry `entry` of a slice: the table's own, or chained to the next slice's
// (kXorChainedSlices), except in the last slice of each half.
uint8_t SliceEntry(const uint8_t (&table)[256], int entry) {
  const bool lastOfHalf = entry / 16 % 8 == 7;
  if (!kXorChainedSlices || lastOfHalf) return table[entry];
  return static_cast<uint8_t>(table[entry] ^ table[entry + 16]);
}

void Slice(const uint8_t (&low)[256], const uint8_t (&high)[256], SlicedTables& sliced) {
  for (int s = 0; s < 16; ++s) {
    for (int i = 0; i < 16; ++i) {
      sliced.slice[s][i] = SliceEntry(low, 16 * s + i);
      sliced.slice[s][16 + i] = SliceEntry(high, 16 * s + i);
    }
  }
}

}  // namespace

void BuildPackedTables(const DisplayValues& a, PackedTables& tables) {
  // The identity tables are their own rule: the ramp at neutral settings
  // would lift every value below 128 by one.
  if (a.brightness == 0 && a.contrast == 0) {
    FillIdentity(tables.PackedLumaTable);
  } else {
    FillRamp(tables.PackedLumaTable, ContrastFactor(a.contrast),
             10 * static_cast<int64_t>(a.brightness) + 128);
  }

  if (a.saturation == 0 && a.balance == 0) {
    FillIdentity(tables.PackedUTable);
    FillIdentity(tables.PackedVTable);
    return;
  }
  // A positive balance weakens V, a negative one U, by the factor 1 / h.
  const SoftDouble s = SaturationFactor(a.saturation);
  const SoftDouble weakened = Divide(s, BalanceDivisor(a.balance));
  FillRamp(tables.PackedUTable, a.balance < 0 ? weakened : s, 128);
  FillRamp(tables.PackedVTable, a.balance > 0 ? weakened : s, 128);
}

void PackedTables::Build(const Key& key, PackedTables& tables) {
  BuildPackedTables(key, tables);
  PackedLookups& lookups = tables.lookups;
  lookups.mapLuma = !IsIdentity(tables.PackedLumaTable);
  lookups.mapChroma = !IsIdentity(tables.PackedUTable) || !IsIdentity(tables.PackedVTable);
  Slice(tables.PackedLumaTable, tables.PackedLumaTable, lookups.luma);
  Slice(tables.PackedUTable, tables.PackedVTable, lookups.chroma);
}

}  // namespace kelmar
