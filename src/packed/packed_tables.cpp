// PackedLumaTable, PackedUTable and PackedVTable: brightness, contrast,
// saturation and U/V balance for the packed writers, one output byte per
// sample value.
#include "packed/packed_tables.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>

#include "tables/adjust_tables.h"
#include "tables/nibble_form.h"
#include "tables/soft_double.h"

namespace kelmar {
namespace {

// The balance step is the single-precision 0.1, as for saturation.
constexpr SoftDouble kBalanceStep = FloatFromBits(0x3DCCCCCDu);
constexpr SoftDouble kOne = DoubleFromBits(0x3FF0000000000000u);

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

// A loop rather than std::equal, which compilers turn into a call to
// memcmp: the DLL links no C runtime.
bool AreAlike(const uint8_t (&a)[256], const uint8_t (&b)[256]) {
  for (int i = 0; i < 256; ++i)
    if (a[i] != b[i]) return false;
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

// The gain of each table's ramp: 1 where the table is the identity, which
// its form approximates with a gain just above 1.
struct RampGains {
  SoftDouble luma, u, v;
};

RampGains GainsOf(const DisplayValues& a) {
  RampGains gains = {kOne, kOne, kOne};
  if (a.brightness != 0 || a.contrast != 0) gains.luma = ContrastFactor(a.contrast);
  if (a.saturation != 0 || a.balance != 0) {
    // A positive balance weakens V, a negative one U, by the factor 1 / h.
    const SoftDouble s = SaturationFactor(a.saturation);
    const SoftDouble weakened = Divide(s, BalanceDivisor(a.balance));
    gains.u = a.balance < 0 ? weakened : s;
    gains.v = a.balance > 0 ? weakened : s;
  }
  return gains;
}

// The three tables before the clamp, each entry's level as a 64-bit
// integer.
struct TableLevels {
  int64_t luma[256], u[256], v[256];
};

void IdentityLevels(int64_t (&levels)[256]) {
  for (int i = 0; i < 256; ++i) levels[i] = i;
}

// Level i = trunc((i - 128) * gain + 0.5) + lift, truncating toward zero.
// Every int32 adjustment keeps |gain| below 2^27 and |lift| below 2^35, so
// the products and the sum stay far inside 64 bits.
void RampLevels(const SoftDouble& gain, int64_t lift, int64_t (&levels)[256]) {
  for (int i = 0; i < 256; ++i) levels[i] = RoundedRamp(i - 128, gain) + lift;
}

void LevelsOf(const DisplayValues& a, TableLevels& levels) {
  const RampGains gains = GainsOf(a);
  // The identity tables are their own rule: the ramp at neutral settings
  // would lift every value below 128 by one.
  if (a.brightness == 0 && a.contrast == 0)
    IdentityLevels(levels.luma);
  else
    RampLevels(gains.luma, 10 * static_cast<int64_t>(a.brightness) + 128, levels.luma);
  if (a.saturation == 0 && a.balance == 0) {
    IdentityLevels(levels.u);
    IdentityLevels(levels.v);
  } else {
    RampLevels(gains.u, 128, levels.u);
    RampLevels(gains.v, 128, levels.v);
  }
}

void FillTables(const TableLevels& levels, PackedTables& tables) {
  for (int i = 0; i < 256; ++i) {
    tables.PackedLumaTable[i] = ClampLevel(levels.luma[i]);
    tables.PackedUTable[i] = ClampLevel(levels.u[i]);
    tables.PackedVTable[i] = ClampLevel(levels.v[i]);
  }
}

void SetNibbleVectors(const NibbleTables& first, const NibbleTables& second,
                      NibbleVectors& vectors) {
  for (int lane = 0; lane < 2; ++lane) {
    const NibbleTables& t = lane == 0 ? first : second;
    std::memcpy(vectors.raise + 16 * lane, t.raise, 16);
    std::memcpy(vectors.lower + 16 * lane, t.lower, 16);
    std::memcpy(vectors.threshold + 16 * lane, t.threshold, 16);
    std::memcpy(vectors.step + 16 * lane, t.step, 16);
    std::memcpy(vectors.rank + 16 * lane, t.rank, 16);
  }
  vectors.lowers = false;
  for (uint8_t lower : vectors.lower) vectors.lowers = vectors.lowers || lower != 0;
}

void FindNibbleForms(const TableLevels& levels, const PackedTables& tables,
                     PackedLookups& lookups) {
  NibbleTables luma, u, v;
  lookups.lumaByNibbles = lookups.mapLuma && FindNibbles(levels.luma, tables.PackedLumaTable, luma);
  lookups.chromaByNibbles = lookups.mapChroma && FindNibbles(levels.u, tables.PackedUTable, u) &&
                            FindNibbles(levels.v, tables.PackedVTable, v);
  if (lookups.lumaByNibbles) SetNibbleVectors(luma, luma, lookups.lumaNibbles);
  if (lookups.chromaByNibbles) SetNibbleVectors(u, v, lookups.chromaNibbles);
}

constexpr int kMaxRampShift = 14;
constexpr int64_t kWord = 65536;

int64_t FloorDivide(int64_t a, int64_t b) {  // b > 0
  return a >= 0 ? a / b : -((-a + b - 1) / b);
}
int64_t CeilDivide(int64_t a, int64_t b) { return -FloorDivide(-a, b); }
int64_t SaturateWord(int64_t v) {
  return v < INT16_MIN ? INT16_MIN : (v > INT16_MAX ? INT16_MAX : v);
}

// The least (`least`) or the greatest word y whose rounding in `shape`
// gives `level` before the lift, or any level beyond it on that side.
int64_t LevelBound(RampShape shape, int64_t level, bool least) {
  const int64_t step = int64_t{1} << shape.shift;
  const bool towardZero = shape.rounding == RampRounding::kTowardZero;
  if (least) return towardZero && level <= 0 ? (level - 1) * step + 1 : level * step;
  return towardZero && level < 0 ? level * step : (level + 1) * step - 1;
}

// Bounds on a ramp's combined bias, and the entries that set them.
struct BiasLimits {
  int64_t low, high;
  int lowAt = 0, highAt = 0;
};

// The bounds on the ramp's combined bias fine * scale + 65536 * offset under
// which it gives every entry but the `corrected` ones: exactly where the
// entry lies inside 1..254, at least 255 or at most 0 where the table is
// clamped.  Saturation is left to the final check.  Empty (low > high)
// when no bias fits the scale.  `lift` is at most 16 bits, so every bound
// stays far inside 64 bits.
BiasLimits BiasBounds(const uint8_t (&table)[256], int64_t scale, int64_t lift, RampShape shape,
                      const bool* corrected = nullptr) {
  BiasLimits limits = {-(int64_t{1} << 40), int64_t{1} << 40};
  for (int x = 0; x < 256; ++x) {
    if (corrected && corrected[x]) continue;
    const int64_t d = x - 128;
    const int64_t level =
        shape.rounding == RampRounding::kTowardZero ? table[x] - lift : table[x] - (d < 0 ? 1 : 0);
    // y = floor((256 * d * scale + bias) / 65536)
    const int64_t base = 256 * d * scale;
    const int64_t low = LevelBound(shape, level, true) * kWord - base;
    const int64_t high = (LevelBound(shape, level, false) + 1) * kWord - 1 - base;
    if (table[x] > 0 && low > limits.low) limits.low = low, limits.lowAt = x;
    if (table[x] < 255 && high < limits.high) limits.high = high, limits.highAt = x;
  }
  return limits;
}

int64_t BiasShortfall(const uint8_t (&table)[256], int64_t scale, int64_t lift, RampShape shape) {
  const BiasLimits limits = BiasBounds(table, scale, lift, shape);
  return limits.low - limits.high;
}

// The scale near the gain's slope that leaves the bias the most room.  The
// shortfall is convex in the scale (a maximum of lines less a minimum of
// lines), so a ternary search finds it.
int64_t RoomiestScale(const uint8_t (&table)[256], int64_t slope, int64_t lift, RampShape shape) {
  int64_t first = std::max<int64_t>(INT16_MIN, slope - 64);
  int64_t last = std::min<int64_t>(INT16_MAX, slope + 64);
  while (last - first > 2) {
    const int64_t one = first + (last - first) / 3, two = last - (last - first) / 3;
    const int64_t atOne = BiasShortfall(table, one, lift, shape);
    const int64_t atTwo = BiasShortfall(table, two, lift, shape);
    if (atOne < atTwo) {
      last = two - 1;
    } else if (atOne > atTwo) {
      first = one + 1;
    } else {
      first = one;
      last = two;
    }
  }
  return first;
}

bool IsRampOf(const uint8_t (&table)[256], const PackedRamp& ramp, RampShape shape) {
  for (int x = 0; x < 256; ++x)
    if (RampEntry(ramp, shape, x) != table[x]) return false;
  return true;
}

// A ramp with `scale` whose bias lies within `limits` and which, with the
// `corrected` entries set right, gives every entry.  A constant table's
// bias may lie beyond 16 bits of offset, where saturation holds it.
bool RealiseBias(const uint8_t (&table)[256], int64_t scale, int64_t lift, RampShape shape,
                 const BiasLimits& limits, const bool* corrected, PackedRamp& ramp) {
  // A bias within the bounds fails the check only through saturation, which
  // the next few rarely escape either: the search stops there.
  int checks = 0;
  for (int64_t fine = 0; fine < 256 && checks < 4; ++fine) {
    const int64_t offset = CeilDivide(limits.low - fine * scale, kWord);
    if (fine * scale + offset * kWord > limits.high) continue;
    ++checks;
    PackedRamp candidate = {static_cast<int16_t>(scale),
                            static_cast<int16_t>(SaturateWord(offset)),
                            static_cast<int16_t>(SaturateWord(lift)),
                            static_cast<uint8_t>(fine),
                            {},
                            {}};
    int slot = 0;
    for (int x = 0; x < 256; ++x) {
      if (!corrected[x]) continue;
      candidate.correctAt[slot] = static_cast<uint8_t>(x);
      candidate.correctBy[slot++] = static_cast<uint8_t>(table[x] - RampEntry(candidate, shape, x));
    }
    if (IsRampOf(table, candidate, shape)) {
      ramp = candidate;
      return true;
    }
  }
  return false;
}

// A form of `table` in `shape` with at most `corrections` entries set
// right, its scale near gain * 2^(8 + shift), the slope that 256 * d
// needs; false when none fits.  The entries to correct are chosen one at a
// time, the one that sets the lower bound of the bias and then the upper.
bool FindRamp(const uint8_t (&table)[256], const SoftDouble& gain, int64_t lift, RampShape shape,
              int corrections, PackedRamp& ramp) {
  // A slope beyond 16 bits is a steep ramp, a step of a few entries between
  // its clamped runs, which the steepest scale may still give.
  const int64_t slope = std::clamp<int64_t>(
      TruncateToInteger(Multiply(gain, FromInteger(int64_t{1} << (8 + shape.shift)))),
      INT16_MIN + 1, INT16_MAX);
  // The vector adds the lift as a saturated word; the check of every entry
  // holds that to the table.
  lift = shape.rounding == RampRounding::kBelowMiddle ? 0 : SaturateWord(lift);
  // Without corrections no scale leaves more room than the roomiest; with
  // them, a scale a little off it may.
  const int64_t best = RoomiestScale(table, slope, lift, shape);
  const int64_t reach = corrections == 0 ? 2 : 8;
  for (int64_t step = 0; step < reach; ++step) {
    for (int64_t scale : {best + step, best - step - 1}) {
      if (scale < INT16_MIN || scale > INT16_MAX) continue;
      bool corrected[256] = {};
      for (int count = 0;; ++count) {
        const BiasLimits limits = BiasBounds(table, scale, lift, shape, corrected);
        if (limits.low <= limits.high) {
          if (RealiseBias(table, scale, lift, shape, limits, corrected, ramp)) return true;
          break;
        }
        if (count == corrections) break;
        corrected[count % 2 == 0 ? limits.lowAt : limits.highAt] = true;
      }
    }
  }
  return false;
}

void SetRampVectors(const PackedRamp& first, const PackedRamp& second, int shift,
                    RampVectors& vectors) {
  for (int lane = 0; lane < 16; ++lane) {
    const PackedRamp& ramp = lane < 8 ? first : second;
    vectors.towardZero[lane] = static_cast<int16_t>((1 << shift) - 1);
    vectors.scale[lane] = ramp.scale;
    vectors.offset[lane] = ramp.offset;
    vectors.lift[lane] = ramp.lift;
    vectors.fineByHalves[lane] = ramp.fine;
    for (int k = 0; k < kRampCorrections; ++k) {
      vectors.correctAtByHalves[k][lane] = ramp.correctAt[k];
      vectors.correctByByHalves[k][lane] = ramp.correctBy[k];
    }
  }
  vectors.corrected = false;
  for (int i = 0; i < 32; ++i) {
    const PackedRamp& ramp = i < 16 ? first : second;
    vectors.fine[i] = ramp.fine;
    for (int k = 0; k < kRampCorrections; ++k) {
      vectors.correctAt[k][i] = ramp.correctAt[k];
      vectors.correctBy[k][i] = ramp.correctBy[k];
      vectors.corrected = vectors.corrected || ramp.correctBy[k] != 0;
    }
  }
}

// The first shape in which `find(shape, corrections)` finds forms: without
// corrections if any shape allows, the cheaper rounding first and the
// largest shift (the finest scale) first.
template <typename Find>
bool FindShape(Find find, RampShape& found) {
  for (int corrections : {0, kRampCorrections}) {
    for (RampRounding rounding : {RampRounding::kBelowMiddle, RampRounding::kTowardZero}) {
      for (int shift = kMaxRampShift; shift >= 0; --shift) {
        const RampShape shape = {rounding, shift};
        if (!find(shape, corrections)) continue;
        found = shape;
        return true;
      }
    }
  }
  return false;
}

// The forms of the mapped tables: luma in the shape that suits it, U and V
// in one shape for both.
void FindRamps(const PackedTables& tables, const DisplayValues& a, PackedLookups& lookups) {
  const RampGains gains = GainsOf(a);
  const int64_t lumaLift = 10 * static_cast<int64_t>(a.brightness) + 128;
  PackedRamp luma = {}, u = {}, v = {};
  lookups.lumaByRamp = lookups.mapLuma && FindShape(
                                              [&](RampShape shape, int corrections) {
                                                return FindRamp(tables.PackedLumaTable, gains.luma,
                                                                lumaLift, shape, corrections, luma);
                                              },
                                              lookups.lumaShape);
  lookups.chromaByRamp =
      lookups.mapChroma &&
      FindShape(
          [&](RampShape shape, int corrections) {
            return FindRamp(tables.PackedUTable, gains.u, 128, shape, corrections, u) &&
                   FindRamp(tables.PackedVTable, gains.v, 128, shape, corrections, v);
          },
          lookups.chromaShape);
  if (lookups.lumaByRamp) SetRampVectors(luma, luma, lookups.lumaShape.shift, lookups.lumaRamp);
  if (lookups.chromaByRamp) SetRampVectors(u, v, lookups.chromaShape.shift, lookups.chromaRamp);
}

}  // namespace

void BuildPackedTables(const DisplayValues& a, PackedTables& tables) {
  TableLevels levels;
  LevelsOf(a, levels);
  FillTables(levels, tables);
}

NibbleTables NibblesOfLane(const NibbleVectors& vectors, int lane) {
  NibbleTables t;
  std::memcpy(t.raise, vectors.raise + 16 * lane, 16);
  std::memcpy(t.lower, vectors.lower + 16 * lane, 16);
  std::memcpy(t.threshold, vectors.threshold + 16 * lane, 16);
  std::memcpy(t.step, vectors.step + 16 * lane, 16);
  std::memcpy(t.rank, vectors.rank + 16 * lane, 16);
  return t;
}

uint8_t RampEntry(const PackedRamp& ramp, RampShape shape, int x) {
  const int64_t d = x - 128;
  const int64_t step = int64_t{1} << shape.shift;
  const int64_t y =
      SaturateWord(FloorDivide((256 * d + ramp.fine) * ramp.scale, kWord) + ramp.offset);
  const int64_t entry = shape.rounding == RampRounding::kBelowMiddle
                            ? SaturateWord(FloorDivide(y, step) + (d < 0 ? 1 : 0))
                            : SaturateWord(y / step + ramp.lift);  // C++ division truncates
  uint8_t value = static_cast<uint8_t>(entry < 0 ? 0 : (entry > 255 ? 255 : entry));
  for (int k = 0; k < kRampCorrections; ++k)
    if (x == ramp.correctAt[k]) value = static_cast<uint8_t>(value + ramp.correctBy[k]);
  return value;
}

PackedRamp RampOfLane(const RampVectors& vectors, int lane) {
  PackedRamp ramp = {vectors.scale[lane],
                     vectors.offset[lane],
                     vectors.lift[lane],
                     vectors.fine[2 * lane],
                     {},
                     {}};
  for (int k = 0; k < kRampCorrections; ++k) {
    ramp.correctAt[k] = vectors.correctAt[k][2 * lane];
    ramp.correctBy[k] = vectors.correctBy[k][2 * lane];
  }
  return ramp;
}

void PackedTables::Build(const Key& key, PackedTables& tables) {
  TableLevels levels;
  LevelsOf(key, levels);
  FillTables(levels, tables);
  PackedLookups& lookups = tables.lookups;
  lookups.mapLuma = !IsIdentity(tables.PackedLumaTable);
  lookups.mapChroma = !IsIdentity(tables.PackedUTable) || !IsIdentity(tables.PackedVTable);
  lookups.chromaAlike = AreAlike(tables.PackedUTable, tables.PackedVTable);
  // Only the SSE2, SSSE3, AVX2 and Advanced SIMD writers compute tables
  // (Advanced SIMD by halves alone); elsewhere the search would only slow
  // the build.
  lookups.lumaByNibbles = false;
  lookups.chromaByNibbles = false;
  lookups.lumaNibbles.lowers = false;
  lookups.chromaNibbles.lowers = false;
  lookups.lumaByRamp = false;
  lookups.chromaByRamp = false;
  lookups.lumaShape = {RampRounding::kBelowMiddle, 0};
  lookups.chromaShape = lookups.lumaShape;
  if (KELMAR_HAVE_WIDE || KELMAR_HAVE_NEON) FindNibbleForms(levels, tables, lookups);
  if (KELMAR_HAVE_WIDE) FindRamps(tables, key, lookups);
  Slice(tables.PackedLumaTable, tables.PackedLumaTable, lookups.luma);
  Slice(tables.PackedUTable, tables.PackedVTable, lookups.chroma);
}

}  // namespace kelmar
