// Integer forms of LumaTable, UTable and VTable that vector code can compute
// in 16-bit lanes instead of reading the tables.
//
// The tables are built in double precision, so a form is only trusted after
// it has been compared with every table entry it replaces.  A form that
// differs anywhere is not used, and the converters read the tables.
#pragma once

#include <cstdint>

#include "tables/adjust_tables.h"

namespace kelmar {

// One chroma term as a function of x = sample - 128, for a coefficient whose
// sign is known (positive for the blue and red terms, negative for green):
//   magnitude = |x| * high + ((|x| * low) >> 16),  term = +-sign(x) * magnitude.
struct ChromaTermForm {
  uint16_t high;
  uint16_t low;
};

// LumaTable[i] = clamp(v(i)) to 0..255, with v(i) one of
//   kUnitSlope:  i + lift + (i < 128 ? 1 : 0)                     (contrast 0)
//   kRational:   lift + sign(m) * (((|m| + rounding) * multiplier) >> 16),
//                m = i * scale + bias                               (any contrast)
// For contrast c, m / 20 = (i - 128) * (1 + c / 20) + 0.5 exactly, and the
// rational form is trunc(m / 20).  The double arithmetic of the table rounds
// some halfway cases one way and some the other; the multiplier (a little
// under 65536 / 20) and the rounding move where the form switches, and at up
// to kMaxLumaExceptionsPerSide indices of each direction v(i) is corrected
// by one.
enum class LumaFormKind : int32_t { kNone, kUnitSlope, kRational };

constexpr int kMaxLumaExceptionsPerSide = 4;

struct LumaForm {
  LumaFormKind kind;
  int16_t lift;
  int16_t scale;
  int16_t bias;
  uint16_t multiplier;
  uint16_t rounding;
  int32_t raiseCount;  // indices where the table is v(i) + 1
  int32_t lowerCount;  // indices where the table is v(i) - 1
  int16_t raise[kMaxLumaExceptionsPerSide];
  int16_t lower[kMaxLumaExceptionsPerSide];
  int16_t unusedM;  // a value m takes at no index, to fill unused correction slots
};

struct RgbClosedForms {
  bool chromaExact;  // the four chroma forms match UTable and VTable
  ChromaTermForm uBlue, uGreen, vGreen, vRed;
  LumaForm luma;  // kind kNone when no form matches LumaTable

  bool Usable() const { return chromaExact && luma.kind != LumaFormKind::kNone; }
};

// The forms of `tables`, built for these brightness, contrast and saturation
// values.  `maxExceptionsPerSide` caps the corrected indices of a kRational
// form in each direction.
RgbClosedForms AnalyseAdjustTables(const AdjustTables& tables, int32_t brightness, int32_t contrast,
                                   int32_t saturation,
                                   int maxExceptionsPerSide = kMaxLumaExceptionsPerSide);

// The 16-bit arithmetic of the forms, for the analysis and for tests.
int32_t ChromaTermFromForm(const ChromaTermForm& form, bool negative, int32_t sample);
int32_t LumaLevelFromForm(const LumaForm& form, int32_t index);

}  // namespace kelmar
