// Finding and checking the integer forms of the adjustment tables.
#include "rgb/closed_forms.h"

#include <algorithm>
#include <cstdint>
#include <initializer_list>

#include "tables/adjust_tables.h"

namespace kelmar {
namespace {

int32_t Clamp(int64_t v, int32_t low, int32_t high) {
  return static_cast<int32_t>(v < low ? low : (v > high ? high : v));
}

int16_t Wrap16(int32_t v) { return static_cast<int16_t>(static_cast<uint16_t>(v)); }

// The four chroma terms: which table, which half of the entry, which sign.
struct ChromaTermSource {
  const ChromaTerms* table;
  bool green;
  SoftDouble coefficient;
};

int32_t TableTerm(const ChromaTermSource& source, int32_t sample) {
  const ChromaTerms& entry = source.table[sample];
  return source.green ? entry.green : entry.other;
}

bool FormMatches(const ChromaTermForm& form, const ChromaTermSource& source) {
  const bool negative = source.coefficient.negative;
  for (int32_t sample = 0; sample < 256; ++sample)
    if (ChromaTermFromForm(form, negative, sample) != TableTerm(source, sample)) return false;
  return true;
}

// The fixed-point factor nearest to |s * coefficient| rarely differs from
// the double products by more than a step or two; try the neighbours.
bool FindChromaForm(const ChromaTermSource& source, const SoftDouble& s, ChromaTermForm& form) {
  constexpr SoftDouble kOneUnit = DoubleFromBits(0x40F0000000000000u);  // 65536
  constexpr SoftDouble kHalf = DoubleFromBits(0x3FE0000000000000u);
  const SoftDouble magnitude = Magnitude(Multiply(s, source.coefficient));
  const int64_t nearest = TruncateToInteger(Add(Multiply(magnitude, kOneUnit), kHalf));
  for (int64_t delta : {0, -1, 1, -2, 2, -3, 3, -4, 4}) {
    const int64_t factor = nearest + delta;
    if (factor < 0 || factor >= (int64_t{1} << 32)) continue;
    ChromaTermForm candidate = {
        static_cast<uint16_t>(factor >> 16), static_cast<uint16_t>(factor & 0xFFFF), -1, {-1, -1}};
    if (FormMatches(candidate, source)) {
      candidate.quarter = QuarterChromaFactor(candidate);
      candidate.doubling[0] = DoublingChromaFactor(candidate, 1);
      candidate.doubling[1] = DoublingChromaFactor(candidate, 2);
      form = candidate;
      return true;
    }
  }
  return false;
}

// The index the form computes m from: the table index, or for the clamped
// form the clamped index less the centre, which keeps m within 16 bits.
int32_t FormIndex(const LumaForm& form, int32_t index) {
  if (form.kind != LumaFormKind::kClampedRational) return index;
  return Clamp(index, form.low, form.high) - form.center;
}

int32_t IndexM(const LumaForm& form, int32_t index) {
  return FormIndex(form, index) * form.scale + form.bias;
}

// LumaTable with its end entries repeated beyond the table.
int32_t EntryOrEdge(const uint8_t* lumaTable, int32_t index) {
  return lumaTable[Clamp(index, kLumaTableMin, kLumaTableMax)];
}

// The ramp of LumaTable runs from the last entry of the leading run of equal
// entries to the first of the trailing run; a clamped index gives the same
// entries outside it.
struct Ramp {
  int32_t low, high;
};

Ramp RampOf(const uint8_t* lumaTable) {
  int32_t low = kLumaTableMin;
  while (low < kLumaTableMax && lumaTable[low + 1] == lumaTable[kLumaTableMin]) ++low;
  int32_t high = kLumaTableMax;
  while (high > low && lumaTable[high - 1] == lumaTable[kLumaTableMax]) --high;
  return {low, high};
}

// The form's value before the clamp, in the 16-bit lane arithmetic; false
// where a lane would overflow.
bool UnclampedLevel(const LumaForm& form, int32_t index, int32_t& level) {
  if (form.kind == LumaFormKind::kUnitSlope) {
    level = index + form.lift + (index < 128 ? 1 : 0);
    return true;
  }
  const int32_t m = IndexM(form, index);
  const int32_t magnitude = (m < 0 ? -m : m) + form.rounding;
  if (m != Wrap16(m) || magnitude > 0xFFFF) return false;
  const int32_t quotient = (magnitude * form.multiplier) >> 16;
  level = form.lift + (m < 0 ? -quotient : (m > 0 ? quotient : 0));
  return true;
}

// Records a correction of `key` by `step` (+1 or -1); false when its
// direction has no slot left.
bool AddCorrection(LumaForm& form, int32_t step, int32_t key, int maxPerSide) {
  int32_t& count = step > 0 ? form.raiseCount : form.lowerCount;
  if (count >= maxPerSide) return false;
  (step > 0 ? form.raise : form.lower)[count++] = static_cast<int16_t>(key);
  return true;
}

// Corrections keyed by level: every index whose level is v needs the same
// step, applied to the clamped byte modulo 256 as the vector code adds it.
class LevelCorrections {
 public:
  bool Add(LumaForm& form, int32_t level, int32_t wanted, int maxPerSide) {
    const int32_t step = wanted == level                  ? 0
                         : wanted == ((level + 1) & 0xFF) ? 1
                         : wanted == ((level - 1) & 0xFF) ? -1
                                                          : kNotAStep;
    if (step == kNotAStep) return false;
    if (given_[level]) return step_[level] == step;
    given_[level] = true;
    step_[level] = static_cast<int8_t>(step);
    return step == 0 || AddCorrection(form, step, level, maxPerSide);
  }
  // A level no index gives, to fill unused slots; -1 when every one is given.
  int32_t Unused() const {
    for (int32_t level = 0; level < 256; ++level)
      if (!given_[level]) return level;
    return -1;
  }

 private:
  static constexpr int32_t kNotAStep = 2;
  bool given_[256] = {};
  int8_t step_[256] = {};
};

// Fills the corrections of `form` so that it gives LumaTable everywhere;
// false if that needs other steps than +-1, or more than `maxPerSide` of a
// direction, or (keyed by level) different steps for one level or no level
// left to fill unused slots with.
bool FitLumaForm(LumaForm& form, const uint8_t* lumaTable, int maxPerSide) {
  form.raiseCount = 0;
  form.lowerCount = 0;
  // A clamped form repeats its end levels beyond [low, high], as the table
  // repeats its end entries there.
  const bool clamped = form.kind == LumaFormKind::kClampedRational;
  const int32_t first = clamped ? form.low : kLumaTableMin;
  const int32_t last = clamped ? form.high : kLumaTableMax;
  LevelCorrections byLevel;
  for (int32_t i = first; i <= last; ++i) {
    int32_t level = 0;
    if (!UnclampedLevel(form, i, level)) return false;
    const int32_t wanted = lumaTable[i];
    if (form.correctsLevels) {
      if (!byLevel.Add(form, Clamp(level, 0, 255), wanted, maxPerSide)) return false;
      continue;
    }
    if (Clamp(level, 0, 255) == wanted) continue;
    const int32_t step = Clamp(level + 1, 0, 255) == wanted   ? 1
                         : Clamp(level - 1, 0, 255) == wanted ? -1
                                                              : 0;
    if (step == 0 || !AddCorrection(form, step, FormIndex(form, i), maxPerSide)) return false;
  }
  if (!form.correctsLevels) return true;
  const int32_t unused = byLevel.Unused();
  form.unusedKey = static_cast<int16_t>(unused);
  return unused >= 0 || form.raiseCount + form.lowerCount == 0;
}

int32_t CorrectionSlots(const LumaForm& form) {
  return form.raiseCount > form.lowerCount ? form.raiseCount : form.lowerCount;
}

// A value of m that no table index gives: m runs through one residue class
// of `scale` within a range far inside the 16-bit one.
int16_t UnusedM(const LumaForm& form) {
  const int32_t low = IndexM(form, form.scale >= 0 ? kLumaTableMin : kLumaTableMax);
  const int32_t high = IndexM(form, form.scale >= 0 ? kLumaTableMax : kLumaTableMin);
  return static_cast<int16_t>(high < 32767 ? high + 1 : low - 1);
}

// What the corrections cost the vector code per slot of the busier
// direction: a compare and an add on two vectors of words when keyed by m,
// on one vector of bytes when keyed by level.
int32_t CorrectionCost(const LumaForm& form) {
  return CorrectionSlots(form) * (form.correctsLevels ? 1 : 2);
}

// 3277 / 65536 is just over 1 / 20, so with no rounding the form is
// trunc(m / 20) exactly; smaller multipliers with a rounding of a few units
// move the halfway cases of larger |m| down.  Keeps the candidate whose
// corrections cost least (the vector code tests as many keys as the busier
// direction has), keyed by level where that costs no more.
bool FitRationalForm(LumaForm& form, const uint8_t* lumaTable, int maxPerSide) {
  const int16_t unusedM = UnusedM(form);
  LumaForm best = {};
  bool found = false;
  for (int32_t multiplier = 3277; multiplier >= 3268; --multiplier) {
    for (int32_t rounding = 0; rounding < 20; ++rounding) {
      for (const bool byLevel : {true, false}) {
        const int32_t weight = byLevel ? 1 : 2;
        const int32_t limit = found ? (CorrectionCost(best) - 1) / weight : maxPerSide;
        if (limit < 0) continue;
        form.multiplier = static_cast<uint16_t>(multiplier);
        form.rounding = static_cast<uint16_t>(rounding);
        form.correctsLevels = byLevel;
        form.unusedKey = unusedM;
        if (!FitLumaForm(form, lumaTable, limit < maxPerSide ? limit : maxPerSide)) continue;
        best = form;
        found = true;
      }
    }
  }
  if (found) form = best;
  return found;
}

LumaForm ClampedForm(const Ramp& ramp, int32_t center) {
  LumaForm form = {};
  form.kind = LumaFormKind::kClampedRational;
  form.low = static_cast<int16_t>(ramp.low);
  form.high = static_cast<int16_t>(ramp.high);
  form.center = static_cast<int16_t>(center);
  return form;
}

// m = (i - 128) * (20 + contrast) + 10, the scale limited to `limit`; the
// clamped form's index already has the 128 taken off.
void SetScale(LumaForm& form, int32_t brightness, int32_t contrast, int32_t limit) {
  const int32_t scale = Clamp(20 + int64_t{contrast}, -limit, limit);
  form.scale = static_cast<int16_t>(scale);
  form.bias = Wrap16(form.kind == LumaFormKind::kClampedRational ? 10 : 10 - 128 * scale);
  form.lift = static_cast<int16_t>(Clamp(10 * int64_t{brightness} + 128, -2047, 2047));
}

LumaForm FindLumaForm(const uint8_t* lumaTable, int32_t brightness, int32_t contrast,
                      int maxPerSide) {
  LumaForm form = {};
  if (contrast == 0) {
    // 10 * brightness beyond +-1024 only pushes every entry further into
    // the clamp; the table's indices span less than that.
    form.kind = LumaFormKind::kUnitSlope;
    form.lift = static_cast<int16_t>(Clamp(10 * int64_t{brightness}, -1024, 1024));
    if (FitLumaForm(form, lumaTable, 0)) return form;
  } else {
    // The plain rational form where it fits, unless the clamped one costs
    // less: its ramp may hold fewer halfway cases to correct.
    LumaForm rational = {};
    if (contrast > -60 && contrast < 60) {
      rational.kind = LumaFormKind::kRational;
      SetScale(rational, brightness, contrast, 32767);
      if (!FitRationalForm(rational, lumaTable, maxPerSide)) rational.kind = LumaFormKind::kNone;
    }
    const Ramp ramp = RampOf(lumaTable);
    for (int32_t limit : {32767, 16383, 4095}) {
      form = ClampedForm(ramp, 128);
      SetScale(form, brightness, contrast, limit);
      if (!FitRationalForm(form, lumaTable, maxPerSide)) continue;
      const bool cheaper =
          rational.kind == LumaFormKind::kNone || LumaFormCost(form) < LumaFormCost(rational);
      return cheaper ? form : rational;
    }
    if (rational.kind != LumaFormKind::kNone) return rational;
    // A step: the first entry is the lift, and the scale makes the next
    // entry's m give the difference of the two (m / 20 rounds it down).
    form = ClampedForm(ramp, ramp.low);
    const int32_t step = EntryOrEdge(lumaTable, ramp.low + 1) - lumaTable[ramp.low];
    form.lift = lumaTable[ramp.low];
    form.scale = static_cast<int16_t>(20 * step + (step < 0 ? -10 : 10));
    form.bias = 0;
    if (FitRationalForm(form, lumaTable, maxPerSide)) return form;
  }
  form = {};
  form.kind = LumaFormKind::kNone;
  return form;
}

}  // namespace

int32_t QuarterChromaFactor(const ChromaTermForm& form) {
  const int64_t whole = int64_t{form.high} << 16 | form.low;
  for (const int64_t c : {whole / 4, whole / 4 + 1}) {
    if (c > 0xFFFF) continue;
    bool same = true;
    for (int64_t a = 1; a <= 128 && same; ++a)
      same = (4 * a * c) >> 16 == a * form.high + ((a * form.low) >> 16);
    if (same) return static_cast<int32_t>(c);
  }
  return -1;
}

int32_t ChromaTermFromForm(const ChromaTermForm& form, bool negative, int32_t sample) {
  const int32_t x = sample - 128;
  const uint32_t a = static_cast<uint32_t>(x < 0 ? -x : x);
  const int16_t magnitude = Wrap16(static_cast<int32_t>(a * form.high + ((a * form.low) >> 16)));
  const int32_t signedMagnitude = (x < 0) != negative ? -magnitude : magnitude;
  return x == 0 ? 0 : Wrap16(signedMagnitude);
}

int32_t DoublingChromaFactor(const ChromaTermForm& form, int32_t shift) {
  const int64_t whole = int64_t{form.high} << 16 | form.low;
  const int64_t nearest = whole / 4 >> (shift - 1);
  for (const int64_t factor : {nearest, nearest + 1, nearest - 1, nearest + 2}) {
    if (factor < 0 || factor > 0x7FFF) continue;
    bool same = true;
    for (int32_t sample = 0; sample < 256 && same; ++sample)
      same = DoubledChromaTerm(shift, static_cast<int32_t>(factor), sample) ==
             ChromaTermFromForm(form, false, sample);
    if (same) return static_cast<int32_t>(factor);
  }
  return -1;
}

int32_t DoublingChromaShift(const ChromaTermForm& first, const ChromaTermForm& second) {
  for (int32_t shift = 1; shift <= 2; ++shift)
    if (first.doubling[shift - 1] >= 0 && second.doubling[shift - 1] >= 0) return shift;
  return 0;
}

int32_t DoubledChromaTerm(int32_t shift, int32_t factor, int32_t sample) {
  const int32_t x = sample - 128;
  // The high half floored, as the vector multiply gives it.
  const int32_t product = 2 * (x * (1 << shift)) * factor;
  const int32_t doubledHigh = product >= 0 ? product / 65536 : -((65535 - product) / 65536);
  return doubledHigh + (doubledHigh < 0 ? 1 : 0);
}

int32_t LumaCorrectionSlots(const LumaForm& luma) {
  const int32_t most = CorrectionSlots(luma);
  if (most == 3 && luma.correctsLevels) return 3;
  return most <= 2 ? most : kMaxLumaExceptionsPerSide;
}

// Measured on the AVX-512 path at 1280 x 720, against 20 for one window:
// the unit-slope form costs 18, the rational form 26 and 7 more per
// correction slot keyed by m, clamping its index 5.  A slot keyed by level
// tests half as many lanes, counted as 4.
int32_t LumaFormCost(const LumaForm& luma) {
  const int32_t corrections = (luma.correctsLevels ? 4 : 7) * LumaCorrectionSlots(luma);
  switch (luma.kind) {
    case LumaFormKind::kNone: break;
    case LumaFormKind::kUnitSlope: return 18;
    case LumaFormKind::kRational: return 26 + corrections;
    case LumaFormKind::kClampedRational: return 31 + corrections;
  }
  return INT32_MAX;
}

int32_t LumaLevelFromForm(const LumaForm& form, int32_t index) {
  int32_t level = 0;
  if (form.kind == LumaFormKind::kNone || !UnclampedLevel(form, index, level)) return -1;
  if (form.correctsLevels) {
    const int32_t clamped = Clamp(level, 0, 255);
    int32_t corrected = clamped;
    for (int32_t e = 0; e < form.raiseCount; ++e)
      if (form.raise[e] == clamped) ++corrected;
    for (int32_t e = 0; e < form.lowerCount; ++e)
      if (form.lower[e] == clamped) --corrected;
    return corrected & 0xFF;
  }
  const int32_t formIndex = FormIndex(form, index);
  for (int32_t e = 0; e < form.raiseCount; ++e)
    if (form.raise[e] == formIndex) ++level;
  for (int32_t e = 0; e < form.lowerCount; ++e)
    if (form.lower[e] == formIndex) --level;
  return Clamp(level, 0, 255);
}

int32_t LumaLevelFromWindows(const LumaWindows& windows, int32_t index) {
  if (windows.count < 1 || windows.count > kMaxLumaWindows) return -1;
  int32_t sum = 0;
  for (int32_t j = 0; j < windows.count; ++j) {
    const int32_t x = Clamp(int64_t{index} - windows.first - 255 * j, 0, 255);
    sum = Clamp(sum + windows.entries[j][x], 0, 255);
  }
  return sum ^ windows.flip;
}

LumaWindows FindLumaWindows(const uint8_t* lumaTable, int maxWindows) {
  LumaWindows windows = {};
  const auto [low, high] = RampOf(lumaTable);
  const int32_t count = high - low <= 255 ? 1 : (high - low + 254) / 255;
  if (count > maxWindows || count > kMaxLumaWindows) return windows;
  const bool falling = lumaTable[kLumaTableMax] < lumaTable[kLumaTableMin];
  windows.first = low;
  windows.flip = count > 1 && falling ? 0xFF : 0;
  for (int32_t x = 0; x < kLumaWindowEntries; ++x)
    windows.entries[0][x] = static_cast<uint8_t>(EntryOrEdge(lumaTable, low + x) ^ windows.flip);
  for (int32_t j = 1; j < count; ++j) {
    const int32_t start = low + 255 * j;
    for (int32_t x = 0; x < kLumaWindowEntries; ++x) {
      const int32_t step = EntryOrEdge(lumaTable, start + x) - EntryOrEdge(lumaTable, start);
      const int32_t magnitude = falling ? -step : step;
      if (magnitude < 0) return windows;  // not monotone: steps would need both signs
      windows.entries[j][x] = static_cast<uint8_t>(magnitude);
    }
  }
  windows.count = count;
  for (int32_t i = kLumaTableMin; i <= kLumaTableMax; ++i) {
    if (LumaLevelFromWindows(windows, i) != lumaTable[i]) {
      windows.count = 0;
      break;
    }
  }
  return windows;
}

RgbClosedForms AnalyseAdjustTables(const AdjustTables& tables, int32_t brightness, int32_t contrast,
                                   int32_t saturation, int maxExceptionsPerSide) {
  const SoftDouble s = SaturationFactor(saturation);
  RgbClosedForms forms = {};
  forms.chromaExact = FindChromaForm({tables.UTable(), false, kUBlue}, s, forms.uBlue) &&
                      FindChromaForm({tables.UTable(), true, kUGreen}, s, forms.uGreen) &&
                      FindChromaForm({tables.VTable(), true, kVGreen}, s, forms.vGreen) &&
                      FindChromaForm({tables.VTable(), false, kVRed}, s, forms.vRed);
  forms.uShift = DoublingChromaShift(forms.uBlue, forms.uGreen);
  forms.vShift = DoublingChromaShift(forms.vGreen, forms.vRed);
  if (maxExceptionsPerSide > kMaxLumaExceptionsPerSide)
    maxExceptionsPerSide = kMaxLumaExceptionsPerSide;
  forms.luma = FindLumaForm(tables.LumaTable(), brightness, contrast, maxExceptionsPerSide);
  forms.windows = FindLumaWindows(tables.LumaTable());
  forms.halves = FindLumaHalves(tables.LumaTable(), brightness, contrast);
  return forms;
}

LumaHalves FindLumaHalves(const uint8_t* lumaTable, int32_t brightness, int32_t contrast) {
  int32_t first = kLumaTableMin;
  while (first < kLumaTableMax && lumaTable[first + 1] == lumaTable[kLumaTableMin]) ++first;
  // Index 128, where the table's rounding turns from up to down, starts a
  // run of 16: within a run the rises would not nest.
  const int32_t aligned = first - ((first - 128) % 16 + 16) % 16;
  if (aligned >= kLumaTableMin) first = aligned;
  first = std::min(first, kLumaTableMax - 255);
  // The window's levels before the clamp, as BuildLumaTable computes them.
  const SoftDouble gain = ContrastFactor(contrast);
  const int64_t lift = 10 * static_cast<int64_t>(brightness) + 128;
  int64_t levels[256];
  uint8_t window[256];
  for (int32_t x = 0; x < 256; ++x) {
    levels[x] = RoundedRamp(first + x - 128, gain) + lift;
    window[x] = lumaTable[first + x];
  }
  LumaHalves halves = {};
  if (!FindNibbles(levels, window, halves.tables)) {
    // A steep ramp can rise more than a byte within a run, where the
    // entries themselves may still fit.
    for (int64_t& level : levels) level = ClampLevel(level);
    if (!FindNibbles(levels, window, halves.tables)) return {};
  }
  halves.first = static_cast<int16_t>(first);
  halves.found = true;
  for (int32_t i = kLumaTableMin; i <= kLumaTableMax; ++i)
    if (LumaLevelFromHalves(halves, i) != lumaTable[i]) return {};
  return halves;
}

int32_t LumaLevelFromHalves(const LumaHalves& halves, int32_t index) {
  return NibbleEntry(halves.tables, Clamp(index - halves.first, 0, 255));
}

bool HalvesBeatLumaForm(const RgbClosedForms& forms) {
  if (!forms.UsableByHalves()) return false;
  const LumaForm& luma = forms.luma;
  switch (luma.kind) {
    case LumaFormKind::kNone: return true;
    case LumaFormKind::kUnitSlope: return false;
    case LumaFormKind::kRational: return LumaCorrectionSlots(luma) > 0;
    case LumaFormKind::kClampedRational: return true;
  }
  return false;
}

}  // namespace kelmar
