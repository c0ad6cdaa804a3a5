// The arithmetic of the vector RGB paths, written once for every vector
// width.  Included by each instruction-set file after it has switched the
// compiler's target; everything here has internal linkage, so each file gets
// its own copy compiled for its own target.
//
// The templates take an instruction set Isa, a traits type whose static
// members are the vector primitives (Sse2 in wide_rgb_sse2.h, Ssse3 in
// wide_rgb_ssse3.cpp, Avx2 in wide_rgb_avx2.cpp, Avx512 in
// wide_rgb_avx512.cpp, Neon in wide_rgb_neon.cpp); rgb/vector_traits.h
// lists them and checks them when a kernel is instantiated.  The loads and
// stores take a pointer, or (more than one macroblock per step) TwoRows /
// FourRows and TwoOutputRows / FourOutputRows with one row per 128-bit lane:
// the template parameters Rows and OutRows stand for either.
//
// Lane order: a vector of luma bytes is split into its low and high halves of
// every 128-bit lane (WidenLo8 / WidenHi8), and a vector of chroma
// samples widened to 16 bits is duplicated the same way (UnpackLo16 /
// UnpackHi16 with itself), so pixel pairs meet the chroma sample that serves
// them, and PackUS16 restores the pixel order within every 128-bit lane.
// Instruction sets whose stores permute bytes freely widen the luma bytes by
// parity instead (WidenEven8 / WidenOdd8): the chroma vector then serves both
// halves as it is, and the stores take the packed bytes in that order.
#pragma once

#include <cstdint>
#include <type_traits>

#include "common/layout_facts.h"
#include "rgb/closed_forms.h"
#include "rgb/vector_traits.h"
#include "rgb/wide_rgb.h"
#include "rgb/wide_rows.h"
#include "tables/nibble_vectors.h"

namespace kelmar {
namespace {

template <typename Isa>
struct FormConstants {
  using Vec = typename Isa::Vec;
  Vec uBlue, uGreen, vGreen, vRed;  // the chroma terms' factors (ChromaFactor)
  Vec uScale, vScale;               // where signed samples are multiplied: 1 << each plane's shift
  Vec lift;                         // kUnitSlope: lift; kRational: lift
  Vec threshold;                    // kUnitSlope: 128 + lift, the level at which the +1 stops
  Vec scale, bias, multiplier, rounding;
  Vec low, high;  // kClampedRational: the index range
  // The keys corrected by +1 and by -1: words of m, or bytes of levels.
  Vec raise[kMaxLumaExceptionsPerSide];
  Vec lower[kMaxLumaExceptionsPerSide];
  struct {
    Vec raise, lower, threshold, step, rank;
  } halves;  // LumaHalves, where the instruction set shuffles bytes
};

KELMAR_VECTOR_INLINE int16_t IndexM(const LumaForm& luma, int16_t index) {
  return static_cast<int16_t>(index * luma.scale + luma.bias);
}

template <typename Isa>
KELMAR_VECTOR_INLINE typename Isa::Vec SetUnsigned16(uint16_t value) {
  return Isa::Set16(static_cast<int16_t>(value));
}

// One chroma term's factor: where the instruction set multiplies signed
// samples (SignedChromaTerm16), the doubling factor for its plane's shift
// (0 where the plane has none, and the kernel table takes no such kernel);
// elsewhere the quarter factor, by which one multiply of 4 |x| gives the
// magnitude.
template <typename Isa>
typename Isa::Vec ChromaFactor(const ChromaTermForm& form, int32_t planeShift) {
  int32_t factor = form.quarter;
  if constexpr (vector_traits::MultipliesSignedChroma<Isa>())
    factor = planeShift > 0 ? form.doubling[planeShift - 1] : 0;
  return SetUnsigned16<Isa>(static_cast<uint16_t>(factor));
}

// `first` in the even 16-bit lanes, `second` in the odd ones.
template <typename Isa>
KELMAR_VECTOR_INLINE typename Isa::Vec SetPairs16(int32_t first, int32_t second) {
  const uint32_t low = static_cast<uint16_t>(first);
  const uint32_t high = static_cast<uint16_t>(second);
  return Isa::Set32(static_cast<int32_t>(low | high << 16));
}

template <typename Isa>
FormConstants<Isa> MakeFormConstants(const RgbClosedForms& forms) {
  FormConstants<Isa> k;
  k.uBlue = ChromaFactor<Isa>(forms.uBlue, forms.uShift);
  k.uGreen = ChromaFactor<Isa>(forms.uGreen, forms.uShift);
  k.vGreen = ChromaFactor<Isa>(forms.vGreen, forms.vShift);
  k.vRed = ChromaFactor<Isa>(forms.vRed, forms.vShift);
  k.uScale = Isa::Set16(static_cast<int16_t>(1 << forms.uShift));
  k.vScale = Isa::Set16(static_cast<int16_t>(1 << forms.vShift));
  const LumaForm& luma = forms.luma;
  k.lift = Isa::Set16(luma.lift);
  k.threshold = Isa::Set16(static_cast<int16_t>(128 + luma.lift));
  k.scale = Isa::Set16(luma.scale);
  // The clamped form's m is (index - center) * scale + bias; as index *
  // scale + (bias - center * scale) it may wrap in the 16-bit lanes, but m
  // itself fits, so the wrapped sum is m.
  const bool clamped = luma.kind == LumaFormKind::kClampedRational;
  k.bias = Isa::Set16(static_cast<int16_t>(
      static_cast<uint16_t>(clamped ? luma.bias - int32_t{luma.center} * luma.scale : luma.bias)));
  k.low = Isa::Set16(luma.low);
  k.high = Isa::Set16(luma.high);
  k.multiplier = SetUnsigned16<Isa>(luma.multiplier);
  k.rounding = SetUnsigned16<Isa>(luma.rounding);
  if constexpr (vector_traits::ShufflesBytes<Isa>()) {
    const NibbleTables& t = forms.halves.tables;
    k.halves = {Isa::LoadBytes16(t.raise), Isa::LoadBytes16(t.lower), Isa::LoadBytes16(t.threshold),
                Isa::LoadBytes16(t.step), Isa::LoadBytes16(t.rank)};
  } else {
    k.halves = {Isa::Zero(), Isa::Zero(), Isa::Zero(), Isa::Zero(), Isa::Zero()};
  }
  for (int32_t e = 0; e < kMaxLumaExceptionsPerSide; ++e) {
    if (luma.correctsLevels) {
      k.raise[e] =
          Isa::Set8(static_cast<char>(e < luma.raiseCount ? luma.raise[e] : luma.unusedKey));
      k.lower[e] =
          Isa::Set8(static_cast<char>(e < luma.lowerCount ? luma.lower[e] : luma.unusedKey));
    } else {
      k.raise[e] = Isa::Set16(e < luma.raiseCount ? IndexM(luma, luma.raise[e]) : luma.unusedKey);
      k.lower[e] = Isa::Set16(e < luma.lowerCount ? IndexM(luma, luma.lower[e]) : luma.unusedKey);
    }
  }
  return k;
}

// What the kernels are compiled for: the kind of luma form and, for the
// rational forms, the number of correction slots per direction and whether
// they are keyed by level (tested on the packed bytes) or by m.  A centred
// kernel computes the unit-slope form without lift as levels less 128:
// the step below 128 is then the sign bit added (PlusOneWhereNegative16)
// and the clamp a signed narrowing (PackCentred16), for instruction sets
// whose shift-and-accumulate makes the step one instruction.
template <LumaFormKind kKind, int kSlots, bool kByLevel = false, bool kCentred = false>
struct CompiledForm {
  static constexpr LumaFormKind kind = kKind;
  static constexpr int slots = kSlots;
  static constexpr bool byLevel = kByLevel;
  static constexpr bool centred = kCentred;
  static constexpr bool byHalves = false;
};

// The kernel that looks the luma up by its halves (LumaHalves): the index
// less the window's start, packed to bytes with saturation, then the form
// by halves; no closed luma form.
struct ByHalves : CompiledForm<LumaFormKind::kNone, 0> {
  static constexpr bool byHalves = true;
};

// The chroma terms of one vector of chroma samples less 128 (16-bit lanes).
template <typename Isa>
struct ChannelTerms {
  using Vec = typename Isa::Vec;
  Vec blue, green, red;
};

// One chroma term with the sign of x, from 4 |x| (the compiler computes
// each plane's once for its two terms) or, where the instruction set
// multiplies signed samples, from x shifted by its plane's shift.
template <typename Isa, typename Vec = typename Isa::Vec>
KELMAR_VECTOR_INLINE Vec ChromaTerm(Vec x, Vec factor) {
  if constexpr (vector_traits::MultipliesSignedChroma<Isa>())
    return Isa::SignedChromaTerm16(x, factor);
  else
    return Isa::Sign16(Isa::MulhiU16(Isa::template Slli16<2>(Isa::Abs16(x)), factor), x);
}

template <typename Isa, typename Vec = typename Isa::Vec>
KELMAR_VECTOR_INLINE ChannelTerms<Isa> ComputeTerms(const FormConstants<Isa>& k, Vec xu, Vec xv) {
  // A multiply rather than a shift by a vector of counts: Advanced SIMD
  // cores shift on the pipe that also narrows and accumulates the terms.
  if constexpr (vector_traits::MultipliesSignedChroma<Isa>()) {
    xu = Isa::Mullo16(xu, k.uScale);
    xv = Isa::Mullo16(xv, k.vScale);
  }
  ChannelTerms<Isa> t;
  t.blue = ChromaTerm<Isa>(xu, k.uBlue);
  t.red = ChromaTerm<Isa>(xv, k.vRed);
  const Vec uGreen = ChromaTerm<Isa>(xu, k.uGreen);
  const Vec vGreen = ChromaTerm<Isa>(xv, k.vGreen);
  t.green = Isa::Sub16(Isa::Sub16(Isa::Zero(), uGreen), vGreen);  // both coefficients are negative
  return t;
}

// A channel's chroma part of the luma form for index luma + term + offset:
// unit slope term + offset + lift (one sum: the offset includes the lift),
// rational (term + offset) * scale + bias, clamped rational term + offset
// (the index is clamped before scaling).
template <typename Form, typename Isa, typename Vec = typename Isa::Vec>
KELMAR_VECTOR_INLINE Vec PrepareTerm(const FormConstants<Isa>& k, Vec term, Vec offset) {
  const Vec index = Isa::Add16(term, offset);
  // The unit-slope form's offsets hold its lift too (MakeLayoutOffsets).
  if (Form::kind != LumaFormKind::kRational) return index;
  return Isa::Add16(Isa::Mullo16(index, k.scale), k.bias);
}

// The luma part: sample * scale for the rational form, else the sample.
template <typename Form, typename Isa, typename Vec = typename Isa::Vec>
KELMAR_VECTOR_INLINE Vec PrepareLuma(const FormConstants<Isa>& k, Vec luma16) {
  if (Form::kind != LumaFormKind::kRational) return luma16;
  return Isa::Mullo16(luma16, k.scale);
}

// The unclamped level of LumaTable at the index whose two parts are given.
template <typename Form, typename Isa, typename Vec = typename Isa::Vec>
KELMAR_VECTOR_INLINE Vec Level(const FormConstants<Isa>& k, Vec lumaPart, Vec termPart) {
  const Vec sum = Isa::Add16(lumaPart, termPart);
  if constexpr (Form::byHalves) return sum;
  if constexpr (Form::centred) return Isa::PlusOneWhereNegative16(sum);
  if (Form::kind == LumaFormKind::kUnitSlope)
    return Isa::PlusOneWhereGreater16(sum, k.threshold, sum);
  const Vec m =
      Form::kind == LumaFormKind::kRational
          ? sum
          : Isa::Add16(Isa::Mullo16(Isa::Min16(Isa::Max16(sum, k.low), k.high), k.scale), k.bias);
  const Vec quotient = Isa::MulhiU16(Isa::Add16(Isa::Abs16(m), k.rounding), k.multiplier);
  Vec level = Isa::Add16(Isa::Sign16(quotient, m), k.lift);
  if (Form::byLevel) return level;
  for (int e = 0; e < Form::slots; ++e) {
    level = Isa::PlusOneWhereEqual16(level, m, k.raise[e]);
    level = Isa::MinusOneWhereEqual16(level, m, k.lower[e]);
  }
  return level;
}

// The saturated bytes of one colour from its levels in two vectors of words.
template <typename Form, typename Isa, typename Vec = typename Isa::Vec>
KELMAR_VECTOR_INLINE Vec PackLevels(Vec low, Vec high) {
  if constexpr (Form::centred)
    return Isa::PackCentred16(low, high);
  else
    return Isa::PackUS16(low, high);
}

// The corrections keyed by level, on the saturated bytes of one colour; every
// compare sees the uncorrected level.  With the halves the bytes are window
// indices, and this is where they are looked up.
template <typename Form, typename Isa, typename Vec = typename Isa::Vec>
KELMAR_VECTOR_INLINE Vec CorrectLevels(const FormConstants<Isa>& k, Vec levels) {
  if constexpr (Form::byHalves) return EntriesByNibbles<Isa, true>(k.halves, levels);
  if (!Form::byLevel) return levels;
  Vec corrected = levels;
  for (int e = 0; e < Form::slots; ++e) {
    corrected = Isa::PlusOneWhereEqual8(corrected, levels, k.raise[e]);
    corrected = Isa::MinusOneWhereEqual8(corrected, levels, k.lower[e]);
  }
  return corrected;
}

// The prepared terms of the pixels of one luma vector: `low` serves the
// pixels of WidenLo8 (WidenEven8), `high` those of WidenHi8 (WidenOdd8).
template <typename Isa>
struct PixelPairTerms {
  using Vec = typename Isa::Vec;
  Vec low, high;
};

// Where the luma samples are widened by parity, a pixel pair's terms are
// already where both its pixels are.
template <typename Isa, typename Vec = typename Isa::Vec>
KELMAR_VECTOR_INLINE PixelPairTerms<Isa> SpreadToPixels(Vec prepared) {
  if constexpr (vector_traits::WidensByParity<Isa>()) return {prepared, prepared};
  return {Isa::UnpackLo16(prepared, prepared), Isa::UnpackHi16(prepared, prepared)};
}

// Blue, green and red bytes (saturated levels) of 16 or 32 pixels to the
// layout's pixels; kByParity: packed from levels widened by parity.
template <typename Isa, bool kByParity, typename Vec, typename OutRows>
KELMAR_VECTOR_INLINE void StoreBgr24(OutRows out, Vec b, Vec g, Vec r) {
  if constexpr (kByParity)
    Isa::StoreBgr24ByParity(out, b, g, r);
  else
    Isa::StoreBgr24(out, b, g, r);
}
template <typename Isa, bool kByParity, typename Vec, typename OutRows>
KELMAR_VECTOR_INLINE void StoreWordsOfBytes(OutRows out, Vec low, Vec high) {
  if constexpr (kByParity)
    Isa::StoreWordsOfBytesByParity(out, low, high);
  else
    Isa::StoreWordsOfBytes(out, low, high);
}

template <typename Isa, bool kByParity = false, typename Vec, typename OutRows>
KELMAR_VECTOR_INLINE void StorePixels(Rgb24Facts, OutRows out, Vec b, Vec g, Vec r) {
  StoreBgr24<Isa, kByParity>(out, b, g, r);
}

// The low and the high bytes of 16-bit pixels.
template <typename Vec>
struct WordBytes {
  Vec low, high;
};

// 0RRRRRGG GGGBBBBB, low byte first: each byte takes its top bits from one
// colour and the bits below from the next (ShiftRightInsert8).  The high
// byte first: in that order the two-operand SSE forms copy fewer registers.
template <typename Isa, typename Vec>
KELMAR_VECTOR_INLINE WordBytes<Vec> PackWords(Rgb555Facts, Vec b, Vec g, Vec r) {
  const Vec high = Isa::template ShiftRightInsert8<6>(Isa::template ShiftRight8<1>(r), g);
  const Vec low = Isa::template ShiftRightInsert8<3>(Isa::template ShiftLeft8<2>(g), b);
  return {low, high};
}

// RRRRRGGG GGGBBBBB, low byte first.
template <typename Isa, typename Vec>
KELMAR_VECTOR_INLINE WordBytes<Vec> PackWords(Rgb565Facts, Vec b, Vec g, Vec r) {
  const Vec high = Isa::template ShiftRightInsert8<5>(r, g);
  const Vec low = Isa::template ShiftRightInsert8<3>(Isa::template ShiftLeft8<3>(g), b);
  return {low, high};
}

// The 16-bit layouts.
template <typename Isa, bool kByParity = false, typename Facts, typename Vec, typename OutRows>
KELMAR_VECTOR_INLINE std::enable_if_t<Facts::kBytesPerPixel == 2> StorePixels(Facts, OutRows out,
                                                                              Vec b, Vec g, Vec r) {
  const WordBytes<Vec> words = PackWords<Isa>(Facts(), b, g, r);
  StoreWordsOfBytes<Isa, kByParity>(out, words.low, words.high);
}

// Each byte of the first (kHigh: last) eight pixels of every 128-bit lane
// twice, in pixel order.
template <typename Isa, bool kByParity, bool kHigh, typename Vec>
KELMAR_VECTOR_INLINE Vec Repeat8(Vec a) {
  if constexpr (kByParity)
    return kHigh ? Isa::RepeatHi8ByParity(a) : Isa::RepeatLo8ByParity(a);
  else
    return kHigh ? Isa::UnpackHi8(a, a) : Isa::UnpackLo8(a, a);
}

// Double size: every pixel twice, as the layout stores it, in natural order.
template <typename Isa, bool kByParity = false, typename Facts, typename Vec, typename OutRows>
KELMAR_VECTOR_INLINE void StorePixels(DoubledFacts<Facts>, OutRows out, Vec b, Vec g, Vec r) {
  constexpr ptrdiff_t kHalf = 16 * Facts::kBytesPerPixel;  // eight pixels doubled
  const auto low = DoubledLanes<Isa>(out, 0, 2 * kHalf);
  const auto high = DoubledLanes<Isa>(out, kHalf, 2 * kHalf);
  if constexpr (Facts::kBytesPerPixel == 3) {
    StoreBgr24<Isa, false>(low, Repeat8<Isa, kByParity, false>(b),
                           Repeat8<Isa, kByParity, false>(g), Repeat8<Isa, kByParity, false>(r));
    StoreBgr24<Isa, false>(high, Repeat8<Isa, kByParity, true>(b), Repeat8<Isa, kByParity, true>(g),
                           Repeat8<Isa, kByParity, true>(r));
  } else {
    const WordBytes<Vec> w = PackWords<Isa>(Facts(), b, g, r);
    StoreWordsOfBytes<Isa, false>(low, Repeat8<Isa, kByParity, false>(w.low),
                                  Repeat8<Isa, kByParity, false>(w.high));
    StoreWordsOfBytes<Isa, false>(high, Repeat8<Isa, kByParity, true>(w.low),
                                  Repeat8<Isa, kByParity, true>(w.high));
  }
}

// The layout's offsets in the units of the luma form: red / blue before the
// chroma terms are prepared, green (per pixel, even row and odd row) after.
template <typename Isa>
struct LayoutOffsets {
  using Vec = typename Isa::Vec;
  Vec redBlue;   // with the unit-slope form's lift
  Vec greenAll;  // the unit-slope form's lift, else 0
  PixelPairTerms<Isa> green[2];
};

// Offsets for the pixels of a row that starts with `first`, the next pixel
// taking `second`, and so on, in the halves that SpreadToPixels serves.
template <typename Isa>
PixelPairTerms<Isa> AlternatingOffsets(int32_t first, int32_t second) {
  if constexpr (vector_traits::WidensByParity<Isa>())
    return {Isa::Set16(static_cast<int16_t>(first)), Isa::Set16(static_cast<int16_t>(second))};
  const typename Isa::Vec pairs = SetPairs16<Isa>(first, second);
  return {pairs, pairs};
}

template <typename Form, typename Layout, typename Isa>
LayoutOffsets<Isa> MakeLayoutOffsets(const RgbClosedForms& forms) {
  const LumaForm& luma = forms.luma;
  const int32_t unit = Form::kind == LumaFormKind::kRational ? luma.scale : 1;
  LayoutOffsets<Isa> o;
  // The centred kernel's lift is 0 and its levels are 128 lower; the
  // halves' indices start at their window.
  int32_t lift = 0;
  if (Form::byHalves)
    lift = -forms.halves.first;
  else if (Form::kind == LumaFormKind::kUnitSlope)
    lift = Form::centred ? -128 : luma.lift;
  o.redBlue = Isa::Set16(static_cast<int16_t>(Layout::kOffsets.redBlue + lift));
  o.greenAll = Isa::Set16(static_cast<int16_t>(lift));
  // Even rows start at an even x + y, odd rows at an odd one.
  const int32_t even = Layout::kOffsets.greenEven * unit;
  const int32_t odd = Layout::kOffsets.greenOdd * unit;
  o.green[0] = AlternatingOffsets<Isa>(even, odd);
  o.green[1] = AlternatingOffsets<Isa>(odd, even);
  return o;
}

// Without widening by parity both halves take the same offsets, and only
// one of them is read: the kernels' constants stay one load.
template <typename Isa>
KELMAR_VECTOR_INLINE PixelPairTerms<Isa> AddToPixels(const PixelPairTerms<Isa>& t,
                                                     const PixelPairTerms<Isa>& offsets) {
  const typename Isa::Vec high = vector_traits::WidensByParity<Isa>() ? offsets.high : offsets.low;
  return {Isa::Add16(t.low, offsets.low), Isa::Add16(t.high, high)};
}

// One row of 16 or 32 pixels.
template <typename Form, typename Layout, typename Isa, typename Rows, typename OutRows,
          typename Vec = typename Isa::Vec>
inline void ConvertRow(const FormConstants<Isa>& k, Rows y, const PixelPairTerms<Isa>& blue,
                       const PixelPairTerms<Isa>& green, const PixelPairTerms<Isa>& red,
                       OutRows out) {
  constexpr bool kByParity = vector_traits::WidensByParity<Isa>();
  const Vec luma = Isa::LoadLuma(y);
  Vec low, high;
  if constexpr (kByParity) {
    low = PrepareLuma<Form, Isa>(k, Isa::WidenEven8(luma));
    high = PrepareLuma<Form, Isa>(k, Isa::WidenOdd8(luma));
  } else {
    low = PrepareLuma<Form, Isa>(k, Isa::WidenLo8(luma));
    high = PrepareLuma<Form, Isa>(k, Isa::WidenHi8(luma));
  }
  const Vec b =
      CorrectLevels<Form, Isa>(k, PackLevels<Form, Isa>(Level<Form, Isa>(k, low, blue.low),
                                                        Level<Form, Isa>(k, high, blue.high)));
  const Vec g =
      CorrectLevels<Form, Isa>(k, PackLevels<Form, Isa>(Level<Form, Isa>(k, low, green.low),
                                                        Level<Form, Isa>(k, high, green.high)));
  const Vec r =
      CorrectLevels<Form, Isa>(k, PackLevels<Form, Isa>(Level<Form, Isa>(k, low, red.low),
                                                        Level<Form, Isa>(k, high, red.high)));
  StorePixels<Isa, kByParity>(Layout(), out, b, g, r);
}

// One row pair of 16 (128-bit V) or 32 (256-bit V) pixels, or with TwoRows
// two row pairs of 16 pixels.
template <typename Form, typename Layout, typename Isa, typename Rows, typename OutRows,
          typename Vec = typename Isa::Vec>
inline void ConvertRowPair(const FormConstants<Isa>& k, const LayoutOffsets<Isa>& o, Rows y0,
                           Rows y1, Rows u, Rows v, OutRows out0, OutRows out1) {
  const Vec zero = Isa::Zero();
  const ChannelTerms<Isa> t =
      ComputeTerms<Isa>(k, Isa::LoadCenteredChroma16(u), Isa::LoadCenteredChroma16(v));
  constexpr bool kLifted = Form::kind == LumaFormKind::kUnitSlope || Form::byHalves;
  const Vec redBlue = Layout::kOffsets.redBlue || kLifted ? o.redBlue : zero;
  const Vec greenAll = kLifted ? o.greenAll : zero;
  const PixelPairTerms<Isa> blue = SpreadToPixels<Isa>(PrepareTerm<Form, Isa>(k, t.blue, redBlue));
  const PixelPairTerms<Isa> red = SpreadToPixels<Isa>(PrepareTerm<Form, Isa>(k, t.red, redBlue));
  const PixelPairTerms<Isa> green =
      SpreadToPixels<Isa>(PrepareTerm<Form, Isa>(k, t.green, greenAll));
  if (Layout::kOffsets.greenEven == 0 && Layout::kOffsets.greenOdd == 0) {
    ConvertRow<Form, Layout, Isa>(k, y0, blue, green, red, out0);
    ConvertRow<Form, Layout, Isa>(k, y1, blue, green, red, out1);
  } else {
    ConvertRow<Form, Layout, Isa>(k, y0, blue, AddToPixels<Isa>(green, o.green[0]), red, out0);
    ConvertRow<Form, Layout, Isa>(k, y1, blue, AddToPixels<Isa>(green, o.green[1]), red, out1);
  }
}

// Converts the runs of one macroblock row, one, two or four macroblocks per
// step; the last macroblocks of a run that fill no step go two or four row
// pairs per step.
template <typename Form, typename Layout, typename Isa>
struct RunKernel {
  static constexpr ptrdiff_t kOut =
      16 * Layout::kBytesPerPixel;  // output bytes of a macroblock row
  static constexpr ptrdiff_t kStep = Isa::kMacroblocksPerStep;
  FormConstants<Isa> k;
  LayoutOffsets<Isa> offsets;

  void Run(const WideMacroblockRow& row, ptrdiff_t column, ptrdiff_t count) const {
    const ptrdiff_t paired = count - count % kStep;
    for (int j = 0; j < 8; ++j) {
      const auto [y0, y1, u, v, out0, out1] = RowPairOfMacroblocksFrom(row, j, column, kOut);
      for (ptrdiff_t c = 0; c < paired; c += kStep)
        ConvertRowPair<Form, Layout, Isa>(k, offsets, y0 + 16 * c, y1 + 16 * c, u + 8 * c,
                                          v + 8 * c, out0 + kOut * c, out1 + kOut * c);
    }
    if constexpr (kStep == 2) {
      if (paired == count) return;
      for (int j = 0; j < 8; j += 2) {
        const RowPairsInLanes p = TwoRowPairsOfMacroblock(row, j, column + paired, kOut);
        ConvertRowPair<Form, Layout, Isa>(k, offsets, p.y0, p.y1, p.u, p.v, p.out0, p.out1);
      }
    } else if constexpr (kStep == 4) {
      for (ptrdiff_t c = column + paired; c < column + count; ++c) {
        for (int j = 0; j < 8; j += 4) {
          const RowPairsInFourLanes p = FourRowPairsOfMacroblock(row, j, c, kOut);
          ConvertRowPair<Form, Layout, Isa>(k, offsets, p.y0, p.y1, p.u, p.v, p.out0, p.out1);
        }
      }
    }
  }
};

// The picture with the kernel of `Form`; its constants are made once.
template <typename Form, typename Layout, typename Isa>
void ConvertPictureWithForm(const RgbJob& job) {
  const RgbClosedForms& forms = job.tables->forms;
  const RunKernel<Form, Layout, Isa> kernel = {MakeFormConstants<Isa>(forms),
                                               MakeLayoutOffsets<Form, Layout, Isa>(forms)};
  ConvertWideRows(job, Layout::kRows, kernel);
}

// The kernel of `kSlots` correction slots keyed the form's way.
template <LumaFormKind kKind, int kSlots, typename Layout, typename Isa>
PictureConverter KeyedKernel(const LumaForm& luma) {
  if (luma.correctsLevels)
    return ConvertPictureWithForm<CompiledForm<kKind, kSlots, true>, Layout, Isa>;
  return ConvertPictureWithForm<CompiledForm<kKind, kSlots>, Layout, Isa>;
}

// The kernel of the unit-slope form, centred where the instruction set
// takes it so and the form has no lift.
template <typename Layout, typename Isa>
PictureConverter UnitSlopeKernel(const LumaForm& luma) {
  using Kind = LumaFormKind;
  if constexpr (vector_traits::TakesCentredLevels<Isa>())
    if (luma.lift == 0)
      return ConvertPictureWithForm<CompiledForm<Kind::kUnitSlope, 0, false, true>, Layout, Isa>;
  return ConvertPictureWithForm<CompiledForm<Kind::kUnitSlope, 0>, Layout, Isa>;
}

// The kernel compiled for the form of the tables: their luma form's kind
// and its correction slots (three only keyed by level; the clamped form
// has one or four).
template <typename Layout, typename Isa>
PictureConverter FormKernel(const RgbClosedForms& forms) {
  static_assert(vector_traits::FormTraits<Isa>::kComplete);
  using Kind = LumaFormKind;
  const LumaForm& luma = forms.luma;
  if (luma.kind == Kind::kUnitSlope) return UnitSlopeKernel<Layout, Isa>(luma);
  if (luma.kind == Kind::kClampedRational) {
    constexpr Kind kClamped = Kind::kClampedRational;
    switch (LumaCorrectionSlots(luma)) {
      case 0: return ConvertPictureWithForm<CompiledForm<kClamped, 0>, Layout, Isa>;
      case 1: return KeyedKernel<kClamped, 1, Layout, Isa>(luma);
      default: return KeyedKernel<kClamped, 4, Layout, Isa>(luma);
    }
  }
  constexpr Kind kRational = Kind::kRational;
  switch (LumaCorrectionSlots(luma)) {
    case 0: return ConvertPictureWithForm<CompiledForm<kRational, 0>, Layout, Isa>;
    case 1: return KeyedKernel<kRational, 1, Layout, Isa>(luma);
    case 2: return KeyedKernel<kRational, 2, Layout, Isa>(luma);
    case 3: return ConvertPictureWithForm<CompiledForm<kRational, 3, true>, Layout, Isa>;
    default: return KeyedKernel<kRational, 4, Layout, Isa>(luma);
  }
}

// make(Facts()) with the facts of an RGB layout known only at run time;
// null for 8-bit, which has kernels of its own.
template <typename Make>
PictureConverter ForRgbLayout(RgbLayout layout, Make make) {
  switch (layout) {
    case RgbLayout::kRgb24: return make(Rgb24Facts());
    case RgbLayout::kRgb555: return make(Rgb555Facts());
    case RgbLayout::kRgb565: return make(Rgb565Facts());
    case RgbLayout::kPal8: break;
  }
  return nullptr;
}

template <typename Isa>
PictureConverter FormKernelFor(RgbLayout layout, const RgbClosedForms& forms) {
  return ForRgbLayout(layout, [&](auto facts) { return FormKernel<decltype(facts), Isa>(forms); });
}

// Double size, which is rare, has kernels for the two common kinds of
// tables only: the unit-slope form (no contrast) and the luma by its halves
// (where the instruction set shuffles bytes).  Null for other tables, which
// a narrower instruction set or the integer path converts.
template <typename Facts, typename Isa>
PictureConverter DoubledUnitSlopeKernel(const RgbClosedForms& forms) {
  static_assert(vector_traits::FormTraits<Isa>::kComplete);
  if (forms.Usable() && forms.luma.kind == LumaFormKind::kUnitSlope)
    return UnitSlopeKernel<DoubledFacts<Facts>, Isa>(forms.luma);
  return nullptr;
}

template <typename Facts, typename Isa>
PictureConverter DoubledKernel(const RgbClosedForms& forms) {
  if (const PictureConverter unitSlope = DoubledUnitSlopeKernel<Facts, Isa>(forms))
    return unitSlope;
  if constexpr (vector_traits::ShufflesBytes<Isa>())
    if (forms.UsableByHalves()) return ConvertPictureWithForm<ByHalves, DoubledFacts<Facts>, Isa>;
  return nullptr;
}

template <typename Isa>
PictureConverter DoubledKernelFor(RgbLayout layout, const RgbClosedForms& forms) {
  return ForRgbLayout(layout,
                      [&](auto facts) { return DoubledKernel<decltype(facts), Isa>(forms); });
}

// For instruction sets whose halves kernel at double size is another.
template <typename Isa>
PictureConverter DoubledUnitSlopeKernelFor(RgbLayout layout, const RgbClosedForms& forms) {
  return ForRgbLayout(
      layout, [&](auto facts) { return DoubledUnitSlopeKernel<decltype(facts), Isa>(forms); });
}

// The kernel that looks the luma up by its halves, for instruction sets
// that shuffle bytes.
template <typename Isa>
PictureConverter HalvesKernelFor(RgbLayout layout) {
  static_assert(vector_traits::FormTraits<Isa>::kComplete && vector_traits::ShufflesBytes<Isa>());
  return ForRgbLayout(layout, [](auto facts) -> PictureConverter {
    return ConvertPictureWithForm<ByHalves, decltype(facts), Isa>;
  });
}

}  // namespace
}  // namespace kelmar
