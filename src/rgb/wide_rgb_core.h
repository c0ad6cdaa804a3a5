// The arithmetic of the vector RGB paths, written once for every vector
// width.  Included by each instruction-set file after it has switched the
// compiler's target; everything here has internal linkage, so each file gets
// its own copy compiled for its own target.
//
// The templates take an instruction set I, a traits type whose static
// members are the vector primitives (see Sse2 in wide_rgb_sse2.cpp and Avx2
// in wide_rgb_avx2.cpp):
//   using V                          the vector of 16-bit lanes
//   kMacroblocksPerStep              16-pixel macroblock rows per vector
//   Zero, Set8, Set16, Set32         constants
//   Add16, Sub16, Mullo16, MulhiU16, Abs16, Max16, Min16,
//   PlusOneWhereGreater16(x, a, b), PlusOneWhereEqual16, MinusOneWhereEqual16
//                                    x + 1 (x - 1) in the lanes where a > b (a == b)
//   Sign16(magnitude, x)             16-bit lane arithmetic
//   And, Or, Srli16<n>, Slli16<n>    bits
//   UnpackLo8, UnpackHi8, UnpackLo16, UnpackHi16, PackUS16
//   AddsU8, SubsU8, MaxU8, MinU8     saturating bytes (8-bit output)
//   LoadLuma(p)                      16 bytes per 128-bit lane
//   LoadChroma16(p)                  8 samples per lane, widened to 16 bits
//   LoadChromaPairs(p)               8 samples per lane, each twice
//   StoreBgr24(out, b, g, r), StoreWords(out, low, high), StoreBytes(out, a)
// A 256-bit set also takes TwoRows / TwoOutputRows in its loads and stores
// (one row per lane) and has SetLanes32(low, high); a 512-bit set takes
// FourRows / FourOutputRows.
//
// Lane order: a vector of luma bytes is split into its low and high halves of
// every 128-bit lane (UnpackLo8 / UnpackHi8 with zero), and a vector of chroma
// samples widened to 16 bits is duplicated the same way (UnpackLo16 /
// UnpackHi16 with itself), so pixel pairs meet the chroma sample that serves
// them, and PackUS16 restores the pixel order within every 128-bit lane.
#pragma once

#include <cstdint>

#include "common/layout_facts.h"
#include "rgb/closed_forms.h"
#include "rgb/wide_rgb.h"
#include "rgb/wide_rows.h"

namespace kelmar {
namespace {

template <typename I>
struct FormConstants {
  using V = typename I::V;
  V c128;
  V uBlueHigh, uBlueLow, uGreenHigh, uGreenLow;
  V vGreenHigh, vGreenLow, vRedHigh, vRedLow;
  V lift;       // kUnitSlope: lift; kRational: lift
  V threshold;  // kUnitSlope: 128 + lift, the level at which the +1 stops
  V scale, bias, multiplier, rounding;
  V low, high;                         // kClampedRational: the index range
  V raise[kMaxLumaExceptionsPerSide];  // m of the indices corrected by +1
  V lower[kMaxLumaExceptionsPerSide];  // m of the indices corrected by -1
};

KELMAR_VECTOR_INLINE int16_t IndexM(const LumaForm& luma, int16_t index) {
  return static_cast<int16_t>(index * luma.scale + luma.bias);
}

template <typename I>
KELMAR_VECTOR_INLINE typename I::V SetUnsigned16(uint16_t value) {
  return I::Set16(static_cast<int16_t>(value));
}

// `first` in the even 16-bit lanes, `second` in the odd ones.
template <typename I>
KELMAR_VECTOR_INLINE typename I::V SetPairs16(int32_t first, int32_t second) {
  const uint32_t low = static_cast<uint16_t>(first);
  const uint32_t high = static_cast<uint16_t>(second);
  return I::Set32(static_cast<int32_t>(low | high << 16));
}

template <typename I>
FormConstants<I> MakeFormConstants(const RgbClosedForms& forms) {
  FormConstants<I> k;
  k.c128 = I::Set16(128);
  k.uBlueHigh = SetUnsigned16<I>(forms.uBlue.high);
  k.uBlueLow = SetUnsigned16<I>(forms.uBlue.low);
  k.uGreenHigh = SetUnsigned16<I>(forms.uGreen.high);
  k.uGreenLow = SetUnsigned16<I>(forms.uGreen.low);
  k.vGreenHigh = SetUnsigned16<I>(forms.vGreen.high);
  k.vGreenLow = SetUnsigned16<I>(forms.vGreen.low);
  k.vRedHigh = SetUnsigned16<I>(forms.vRed.high);
  k.vRedLow = SetUnsigned16<I>(forms.vRed.low);
  const LumaForm& luma = forms.luma;
  k.lift = I::Set16(luma.lift);
  k.threshold = I::Set16(static_cast<int16_t>(128 + luma.lift));
  k.scale = I::Set16(luma.scale);
  // The clamped form's m is (index - center) * scale + bias; as index *
  // scale + (bias - center * scale) it may wrap in the 16-bit lanes, but m
  // itself fits, so the wrapped sum is m.
  const bool clamped = luma.kind == LumaFormKind::kClampedRational;
  k.bias = I::Set16(static_cast<int16_t>(
      static_cast<uint16_t>(clamped ? luma.bias - int32_t{luma.center} * luma.scale : luma.bias)));
  k.low = I::Set16(luma.low);
  k.high = I::Set16(luma.high);
  k.multiplier = SetUnsigned16<I>(luma.multiplier);
  k.rounding = SetUnsigned16<I>(luma.rounding);
  for (int32_t e = 0; e < kMaxLumaExceptionsPerSide; ++e) {
    k.raise[e] = I::Set16(e < luma.raiseCount ? IndexM(luma, luma.raise[e]) : luma.unusedM);
    k.lower[e] = I::Set16(e < luma.lowerCount ? IndexM(luma, luma.lower[e]) : luma.unusedM);
  }
  return k;
}

// What the kernels are compiled for: the kind of luma form and, for the
// rational form, the number of correction slots per direction.
template <LumaFormKind kKind, int kSlots>
struct Form {
  static constexpr LumaFormKind kind = kKind;
  static constexpr int slots = kSlots;
};

template <typename I, typename V = typename I::V>
KELMAR_VECTOR_INLINE V Magnitude(V absX, V high, V low) {
  return I::Add16(I::Mullo16(absX, high), I::MulhiU16(absX, low));
}

// The chroma terms of one vector of chroma samples (widened to 16 bits).
template <typename I>
struct ChannelTerms {
  using V = typename I::V;
  V blue, green, red;
};

template <typename I, typename V = typename I::V>
KELMAR_VECTOR_INLINE ChannelTerms<I> ComputeTerms(const FormConstants<I>& k, V u16, V v16) {
  const V xu = I::Sub16(u16, k.c128);
  const V xv = I::Sub16(v16, k.c128);
  const V au = I::Abs16(xu);
  const V av = I::Abs16(xv);
  ChannelTerms<I> t;
  t.blue = I::Sign16(Magnitude<I>(au, k.uBlueHigh, k.uBlueLow), xu);
  t.red = I::Sign16(Magnitude<I>(av, k.vRedHigh, k.vRedLow), xv);
  const V uGreen = I::Sign16(Magnitude<I>(au, k.uGreenHigh, k.uGreenLow), xu);
  const V vGreen = I::Sign16(Magnitude<I>(av, k.vGreenHigh, k.vGreenLow), xv);
  t.green = I::Sub16(I::Sub16(I::Zero(), uGreen), vGreen);  // both coefficients are negative
  return t;
}

// A channel's chroma part of the luma form for index luma + term + offset:
// unit slope term + offset + lift, rational (term + offset) * scale + bias,
// clamped rational term + offset (the index is clamped before scaling).
template <typename F, typename I, typename V = typename I::V>
inline V PrepareTerm(const FormConstants<I>& k, V term, V offset) {
  const V index = I::Add16(term, offset);
  if (F::kind == LumaFormKind::kUnitSlope) return I::Add16(index, k.lift);
  if (F::kind == LumaFormKind::kClampedRational) return index;
  return I::Add16(I::Mullo16(index, k.scale), k.bias);
}

// The luma part: sample * scale for the rational form, else the sample.
template <typename F, typename I, typename V = typename I::V>
inline V PrepareLuma(const FormConstants<I>& k, V luma16) {
  if (F::kind != LumaFormKind::kRational) return luma16;
  return I::Mullo16(luma16, k.scale);
}

// The unclamped level of LumaTable at the index whose two parts are given.
template <typename F, typename I, typename V = typename I::V>
inline V Level(const FormConstants<I>& k, V lumaPart, V termPart) {
  const V sum = I::Add16(lumaPart, termPart);
  if (F::kind == LumaFormKind::kUnitSlope) return I::PlusOneWhereGreater16(sum, k.threshold, sum);
  const V m = F::kind == LumaFormKind::kRational
                  ? sum
                  : I::Add16(I::Mullo16(I::Min16(I::Max16(sum, k.low), k.high), k.scale), k.bias);
  const V quotient = I::MulhiU16(I::Add16(I::Abs16(m), k.rounding), k.multiplier);
  V level = I::Add16(I::Sign16(quotient, m), k.lift);
  for (int e = 0; e < F::slots; ++e) {
    level = I::PlusOneWhereEqual16(level, m, k.raise[e]);
    level = I::MinusOneWhereEqual16(level, m, k.lower[e]);
  }
  return level;
}

// The prepared terms of the pixels of one luma vector: `low` serves the
// pixels of UnpackLo8, `high` those of UnpackHi8.
template <typename I>
struct PixelPairTerms {
  using V = typename I::V;
  V low, high;
};

template <typename I, typename V = typename I::V>
inline PixelPairTerms<I> SpreadToPixels(V prepared) {
  return {I::UnpackLo16(prepared, prepared), I::UnpackHi16(prepared, prepared)};
}

// Blue, green and red bytes (saturated levels) of 16 or 32 pixels to the
// layout's pixels.
template <typename I, typename V, typename Out>
KELMAR_VECTOR_INLINE void StorePixels(Rgb24Facts, Out out, V b, V g, V r) {
  I::StoreBgr24(out, b, g, r);
}

// 0RRRRRGG GGGBBBBB, low byte first.  The 16-bit shifts move bits across
// byte boundaries; the masks keep only each byte's own.
template <typename I, typename V, typename Out>
KELMAR_VECTOR_INLINE void StorePixels(Rgb555Facts, Out out, V b, V g, V r) {
  const V high = I::Or(I::And(I::template Srli16<1>(r), I::Set16(0x7C7C)),
                       I::And(I::template Srli16<6>(g), I::Set16(0x0303)));
  const V low = I::Or(I::And(I::template Slli16<2>(g), I::Set16(static_cast<int16_t>(0xE0E0))),
                      I::And(I::template Srli16<3>(b), I::Set16(0x1F1F)));
  I::StoreWords(out, I::UnpackLo8(low, high), I::UnpackHi8(low, high));
}

// RRRRRGGG GGGBBBBB, low byte first.
template <typename I, typename V, typename Out>
KELMAR_VECTOR_INLINE void StorePixels(Rgb565Facts, Out out, V b, V g, V r) {
  const V high = I::Or(I::And(r, I::Set16(static_cast<int16_t>(0xF8F8))),
                       I::And(I::template Srli16<5>(g), I::Set16(0x0707)));
  const V low = I::Or(I::And(I::template Slli16<3>(g), I::Set16(static_cast<int16_t>(0xE0E0))),
                      I::And(I::template Srli16<3>(b), I::Set16(0x1F1F)));
  I::StoreWords(out, I::UnpackLo8(low, high), I::UnpackHi8(low, high));
}

// The layout's offsets in the units of the luma form: red / blue before the
// chroma terms are prepared, green (per pixel, even row and odd row) after.
template <typename I>
struct LayoutOffsets {
  using V = typename I::V;
  V redBlue;
  V green[2];
};

template <typename F, typename P, typename I>
LayoutOffsets<I> MakeLayoutOffsets(const LumaForm& luma) {
  const int32_t unit = F::kind == LumaFormKind::kRational ? luma.scale : 1;
  LayoutOffsets<I> o;
  o.redBlue = I::Set16(static_cast<int16_t>(P::kOffsets.redBlue));
  // Even rows start at an even x + y, odd rows at an odd one.
  o.green[0] = SetPairs16<I>(P::kOffsets.greenEven * unit, P::kOffsets.greenOdd * unit);
  o.green[1] = SetPairs16<I>(P::kOffsets.greenOdd * unit, P::kOffsets.greenEven * unit);
  return o;
}

template <typename I, typename V = typename I::V>
inline PixelPairTerms<I> AddToPixels(const PixelPairTerms<I>& t, V offset) {
  return {I::Add16(t.low, offset), I::Add16(t.high, offset)};
}

// One row of 16 or 32 pixels.
template <typename F, typename P, typename I, typename In, typename Out, typename V = typename I::V>
inline void ConvertRow(const FormConstants<I>& k, In y, const PixelPairTerms<I>& blue,
                       const PixelPairTerms<I>& green, const PixelPairTerms<I>& red, Out out) {
  const V zero = I::Zero();
  const V luma = I::LoadLuma(y);
  const V low = PrepareLuma<F, I>(k, I::UnpackLo8(luma, zero));
  const V high = PrepareLuma<F, I>(k, I::UnpackHi8(luma, zero));
  const V b = I::PackUS16(Level<F, I>(k, low, blue.low), Level<F, I>(k, high, blue.high));
  const V g = I::PackUS16(Level<F, I>(k, low, green.low), Level<F, I>(k, high, green.high));
  const V r = I::PackUS16(Level<F, I>(k, low, red.low), Level<F, I>(k, high, red.high));
  StorePixels<I>(P(), out, b, g, r);
}

// One row pair of 16 (128-bit V) or 32 (256-bit V) pixels, or with TwoRows
// two row pairs of 16 pixels.
template <typename F, typename P, typename I, typename In, typename Out, typename V = typename I::V>
inline void ConvertRowPair(const FormConstants<I>& k, const LayoutOffsets<I>& o, In y0, In y1, In u,
                           In v, Out out0, Out out1) {
  const V zero = I::Zero();
  const ChannelTerms<I> t = ComputeTerms<I>(k, I::LoadChroma16(u), I::LoadChroma16(v));
  const V redBlue = P::kOffsets.redBlue ? o.redBlue : zero;
  const PixelPairTerms<I> blue = SpreadToPixels<I>(PrepareTerm<F, I>(k, t.blue, redBlue));
  const PixelPairTerms<I> red = SpreadToPixels<I>(PrepareTerm<F, I>(k, t.red, redBlue));
  const PixelPairTerms<I> green = SpreadToPixels<I>(PrepareTerm<F, I>(k, t.green, zero));
  if (P::kOffsets.greenEven == 0 && P::kOffsets.greenOdd == 0) {
    ConvertRow<F, P, I>(k, y0, blue, green, red, out0);
    ConvertRow<F, P, I>(k, y1, blue, green, red, out1);
  } else {
    ConvertRow<F, P, I>(k, y0, blue, AddToPixels<I>(green, o.green[0]), red, out0);
    ConvertRow<F, P, I>(k, y1, blue, AddToPixels<I>(green, o.green[1]), red, out1);
  }
}

// Converts the runs of one macroblock row, one, two or four macroblocks per
// step; the last macroblocks of a run that fill no step go two or four row
// pairs per step.
template <typename F, typename P, typename I>
struct RunKernel {
  static constexpr ptrdiff_t kOut = 16 * P::kBytesPerPixel;  // output bytes of a macroblock row
  static constexpr ptrdiff_t kStep = I::kMacroblocksPerStep;
  FormConstants<I> k;
  LayoutOffsets<I> offsets;

  void Run(const WideMacroblockRow& row, ptrdiff_t column, ptrdiff_t count) const {
    const ptrdiff_t paired = count - count % kStep;
    for (int j = 0; j < 8; ++j) {
      const auto [y0, y1, u, v, out0, out1] = RowPairOfMacroblocksFrom(row, j, column, kOut);
      for (ptrdiff_t c = 0; c < paired; c += kStep)
        ConvertRowPair<F, P, I>(k, offsets, y0 + 16 * c, y1 + 16 * c, u + 8 * c, v + 8 * c,
                                out0 + kOut * c, out1 + kOut * c);
    }
    if constexpr (kStep == 2) {
      if (paired == count) return;
      for (int j = 0; j < 8; j += 2) {
        const RowPairsInLanes p = TwoRowPairsOfMacroblock(row, j, column + paired, kOut);
        ConvertRowPair<F, P, I>(k, offsets, p.y0, p.y1, p.u, p.v, p.out0, p.out1);
      }
    } else if constexpr (kStep == 4) {
      for (ptrdiff_t c = column + paired; c < column + count; ++c) {
        for (int j = 0; j < 8; j += 4) {
          const RowPairsInFourLanes p = FourRowPairsOfMacroblock(row, j, c, kOut);
          ConvertRowPair<F, P, I>(k, offsets, p.y0, p.y1, p.u, p.v, p.out0, p.out1);
        }
      }
    }
  }
};

// The picture with the kernel of form F; its constants are made once.
template <typename F, typename P, typename I>
void ConvertPictureWithForm(const RgbJob& job) {
  const RgbClosedForms& forms = job.tables->forms;
  const RunKernel<F, P, I> kernel = {MakeFormConstants<I>(forms),
                                     MakeLayoutOffsets<F, P, I>(forms.luma)};
  ConvertWideRows(job, P::kRows, kernel);
}

// The kernel compiled for the form of the tables: their luma form's kind
// and its number of correction slots.
template <typename P, typename I>
PictureConverter FormKernel(const RgbClosedForms& forms) {
  using Kind = LumaFormKind;
  if (forms.luma.kind == Kind::kUnitSlope)
    return ConvertPictureWithForm<Form<Kind::kUnitSlope, 0>, P, I>;
  if (forms.luma.kind == Kind::kClampedRational) {
    switch (LumaCorrectionSlots(forms.luma)) {
      case 0: return ConvertPictureWithForm<Form<Kind::kClampedRational, 0>, P, I>;
      case 1: return ConvertPictureWithForm<Form<Kind::kClampedRational, 1>, P, I>;
      default: return ConvertPictureWithForm<Form<Kind::kClampedRational, 4>, P, I>;
    }
  }
  switch (LumaCorrectionSlots(forms.luma)) {
    case 0: return ConvertPictureWithForm<Form<Kind::kRational, 0>, P, I>;
    case 1: return ConvertPictureWithForm<Form<Kind::kRational, 1>, P, I>;
    case 2: return ConvertPictureWithForm<Form<Kind::kRational, 2>, P, I>;
    default: return ConvertPictureWithForm<Form<Kind::kRational, 4>, P, I>;
  }
}

// The same for a layout known only at run time.
template <typename I>
PictureConverter FormKernelFor(RgbLayout layout, const RgbClosedForms& forms) {
  switch (layout) {
    case RgbLayout::kRgb24: return FormKernel<Rgb24Facts, I>(forms);
    case RgbLayout::kRgb555: return FormKernel<Rgb555Facts, I>(forms);
    case RgbLayout::kRgb565: return FormKernel<Rgb565Facts, I>(forms);
    case RgbLayout::kPal8: break;
  }
  return nullptr;
}

}  // namespace
}  // namespace kelmar
