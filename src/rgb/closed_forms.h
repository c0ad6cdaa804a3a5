// Integer forms of LumaTable, UTable and VTable that vector code can compute
// in 16-bit lanes instead of reading the tables.
//
// The tables are built in double precision, so a form is only trusted after
// it has been compared with every table entry it replaces.  A form that
// differs anywhere is not used, and the converters read the tables.
#pragma once

#include <cstdint>

#include "tables/adjust_tables.h"
#include "tables/nibble_form.h"

namespace kelmar {

// One chroma term as a function of x = sample - 128, for a coefficient whose
// sign is known (positive for the blue and red terms, negative for green):
//   magnitude = |x| * high + ((|x| * low) >> 16),  term = +-sign(x) * magnitude.
// Vector code multiplies in one of two ways that give the same magnitudes,
// with constants found once with the form: -1 where there is none.
struct ChromaTermForm {
  uint16_t high;
  uint16_t low;
  int32_t quarter;      // QuarterChromaFactor
  int32_t doubling[2];  // DoublingChromaFactor for the shifts 1 and 2
};

// LumaTable[i] = clamp(v(i)) to 0..255, with v(i) one of
//   kUnitSlope:  i + lift + (i < 128 ? 1 : 0)                     (contrast 0)
//   kRational:   lift + sign(m) * (((|m| + rounding) * multiplier) >> 16),
//                m = i * scale + bias                               (any contrast)
//   kClampedRational: kRational with m = (clamp(i, low, high) - center)
//                * scale + bias                  (steep ramps, any contrast)
// For contrast c, m / 20 = (i - 128) * (1 + c / 20) + 0.5 exactly, and the
// rational form is trunc(m / 20).  The double arithmetic of the table rounds
// some halfway cases one way and some the other; the multiplier (a little
// under 65536 / 20) and the rounding move where the form switches, and at up
// to kMaxLumaExceptionsPerSide indices of each direction v(i) is corrected
// by one.  Those corrections are keyed either by m or, where that is
// unambiguous, by the level itself after the clamp (every index whose form
// gives that level is corrected alike): a level is a byte, so vector code
// tests twice as many of them per operation.  A steep ramp changes only
// between `low` and `high` (the ends of
// the table's leading and trailing runs of equal entries), so clamping the
// index there first keeps m small.  The centre is 128, as in the formula;
// where m would still overflow (the int32 extremes) the ramp is a step of
// a few entries, and a form centred on its first entry reproduces it.
enum class LumaFormKind : int32_t { kNone, kUnitSlope, kRational, kClampedRational };

constexpr int kMaxLumaExceptionsPerSide = 4;

struct LumaForm {
  LumaFormKind kind;
  int16_t lift;
  int16_t scale;
  int16_t bias;
  uint16_t multiplier;
  uint16_t rounding;
  // Where the table is v(i) + 1 or v(i) - 1: the form's index (for the
  // clamped form, clamp(i, low, high) - center), or with `correctsLevels`
  // the clamped level v(i), corrected modulo 256.
  bool correctsLevels;
  int32_t raiseCount;
  int32_t lowerCount;
  int16_t raise[kMaxLumaExceptionsPerSide];
  int16_t lower[kMaxLumaExceptionsPerSide];
  // What fills unused correction slots: a value m takes at no index, or
  // with `correctsLevels` a level the form gives at none.
  int16_t unusedKey;
  int16_t low;  // kClampedRational: the index range m is computed over,
  int16_t high;
  int16_t center;  // and the index where m = bias
};

// LumaTable as byte lookups over windows of 256 consecutive entries, for
// code that can look up 256 bytes at once.  Window j starts at table index
// first + 255 j, so neighbours share one entry; an index is clamped into
// each window (x_j = clamp(i - first - 255 j, 0, 255)) and
//   level(i) = (entries[0][x_0] + entries[1][x_1] + ...) ^ flip,
// each sum saturated at 255.  Window 0 holds the table itself, the others
// the steps of a monotone ramp from their first entry on.  A falling ramp
// with several windows is stored inverted (255 - entry) and flipped back.
// One window serves any table that is constant outside 256 entries
// (clamped contrast at any slope of at least one level per entry); the
// flatter ramps need more, up to five for the whole table.
constexpr int kMaxLumaWindows = 5;
constexpr int kLumaWindowEntries = 256;

struct LumaWindows {
  int32_t count;  // 0 when the windows do not reproduce LumaTable
  int32_t first;
  uint8_t flip;  // 0 or 0xFF
  uint8_t entries[kMaxLumaWindows][kLumaWindowEntries];
};

// LumaTable by the form by halves (NibbleTables) of 256 consecutive entries,
// for code that shuffles bytes by four-bit indices:
//   level(i) = NibbleEntry(tables, clamp(i - first, 0, 255)),
// the clamp being the saturation of a 16-bit index packed to bytes.  The
// window starts in the table's leading run of equal entries, at most 16
// before its end, where index 128 (the table's change of rounding) starts
// a run of 16; so it serves a table that changes only within about 240
// entries and whose line fits the form: rising by more than one level and
// at most 17 per entry, falling by whole or quarter levels, or a step.
struct LumaHalves {
  bool found;
  int16_t first;
  NibbleTables tables;
};

struct RgbClosedForms {
  bool chromaExact;  // the four chroma forms match UTable and VTable
  ChromaTermForm uBlue, uGreen, vGreen, vRed;
  int32_t uShift, vShift;  // DoublingChromaShift of each plane's two terms
  LumaForm luma;           // kind kNone when no form matches LumaTable
  LumaWindows windows;     // count 0 when they do not match LumaTable
  LumaHalves halves;       // found false when they do not match LumaTable

  bool Usable() const { return chromaExact && luma.kind != LumaFormKind::kNone; }
  bool UsableByHalves() const { return chromaExact && halves.found; }
};

// The forms of `tables`, built for these brightness, contrast and saturation
// values.  `maxExceptionsPerSide` caps the corrected indices of a kRational
// form in each direction.
RgbClosedForms AnalyseAdjustTables(const AdjustTables& tables, int32_t brightness, int32_t contrast,
                                   int32_t saturation,
                                   int maxExceptionsPerSide = kMaxLumaExceptionsPerSide);

// Correction slots per direction the kernels are compiled for: 0, 1, 2, 3
// (keyed by level) or kMaxLumaExceptionsPerSide.
int32_t LumaCorrectionSlots(const LumaForm& luma);

// What computing the form costs the vector kernels, against 20 for one
// AVX-512 luma window; INT32_MAX for kNone.
int32_t LumaFormCost(const LumaForm& luma);

// For code that multiplies |x| once, with no term of x * high: a factor c
// giving (4 |x| * c) >> 16 equal to the form's magnitude for every |x| up
// to 128 (4 |x| and c both fit an unsigned 16-bit lane); -1 when neither
// neighbour of a quarter of the form's whole factor, high * 65536 + low,
// is such a c.
int32_t QuarterChromaFactor(const ChromaTermForm& form);

// For code whose 16-bit multiply keeps the high half of twice the product
// (Advanced SIMD's sqdmulh) and multiplies the signed sample x = sample -
// 128 shifted left by `shift` (1 or 2): a factor from 0 to 32767 for which
// DoubledChromaTerm gives the form's term of every sample, the product
// being 4x times a quarter factor (QuarterChromaFactor or a neighbour);
// -1 when there is none.  Shift 1 serves quarter factors below 32768,
// shift 2 even ones.
int32_t DoublingChromaFactor(const ChromaTermForm& form, int32_t shift);

// The shift for which both terms of one chroma plane have a doubling
// factor, 1 where both shifts serve; 0 when there is none.
int32_t DoublingChromaShift(const ChromaTermForm& first, const ChromaTermForm& second);

// The chroma term as that code computes it: the doubled high half of
// (x << shift) * factor (a floor), plus 1 where it is negative (then a
// truncation, unless the product is a multiple of 65536).
int32_t DoubledChromaTerm(int32_t shift, int32_t factor, int32_t sample);

// The 16-bit arithmetic of the forms, for the analysis and for tests.
int32_t ChromaTermFromForm(const ChromaTermForm& form, bool negative, int32_t sample);
int32_t LumaLevelFromForm(const LumaForm& form, int32_t index);
int32_t LumaLevelFromWindows(const LumaWindows& windows, int32_t index);

// The windows of `lumaTable`, checked against every entry; count 0 when they
// cannot reproduce it.  `maxWindows` caps their number.
LumaWindows FindLumaWindows(const uint8_t* lumaTable, int maxWindows = kMaxLumaWindows);

// The form by halves of `lumaTable`, built for these brightness and contrast
// values and checked against every entry; found false when it cannot
// reproduce it.
LumaHalves FindLumaHalves(const uint8_t* lumaTable, int32_t brightness, int32_t contrast);
int32_t LumaLevelFromHalves(const LumaHalves& halves, int32_t index);

// Whether the SSSE3 and AVX2 kernels compute the luma by its halves rather
// than by its closed form: there the halves cost about what the rational
// form without corrections does, and less than any other but the unit
// slope.  (Advanced SIMD weighs them against its windows instead.)
bool HalvesBeatLumaForm(const RgbClosedForms& forms);

}  // namespace kelmar
