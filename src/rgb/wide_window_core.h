// The vector RGB paths that look LumaTable up in its windows (LumaWindows in
// rgb/closed_forms.h) instead of computing a closed form of it.  Written for
// an instruction set I that can look up 256 bytes at once; included by its
// file after wide_rgb_core.h, whose chroma forms it shares.
//
// Besides the members wide_rgb_core.h lists, I provides:
//   Table                            256 bytes held in registers, LoadTable(p)
//   Lookup(table, index)             a byte per byte of `index`
//   Xor, AddsU8, SubsU8              bytes
//   PackBoth(index16)                per 128-bit lane: sat(index) of its 8
//                                    samples in bytes 0-7, sat(-index) in 8-15
//   Spread<kNegative>(both)          the part of each pixel's sample, for a
//                                    vector of pixels (pixel p: sample p / 2)
//   SpreadAlternating<kNegative>(even, odd)
//                                    the same, even pixels from `even`, odd
//                                    pixels from `odd`
//   LoadLuma, LoadChroma16, StoreBgr24, StoreWords also with FourRows /
//   FourOutputRows (one row per 128-bit lane).
//
// The index of a pixel's channel in window j is clamp(i - start_j, 0, 255)
// with i = Y + t, where t (chroma term + layout offset - start_j) is the
// same for the pixels of a chroma sample: with t+ = sat(t) and t- = sat(-t)
// as unsigned bytes, one of them 0, sat(sat(Y + t+) - t-) is that clamp for
// any t, however far outside the window.
#pragma once

#include <cstdint>

#include "common/layout_facts.h"
#include "rgb/closed_forms.h"
#include "rgb/wide_rgb.h"
#include "rgb/wide_rows.h"

namespace kelmar {
namespace {

template <typename I, int kWindows>
struct WindowConstants {
  using V = typename I::V;
  FormConstants<I> forms;
  typename I::Table tables[kWindows];
  // The layout's offsets minus the first window's start: t of window 0.
  V redBlue, greenEven, greenOdd;
  V step;  // 255: from one window's start to the next
  V flip;
};

template <typename P, typename I, int kWindows>
WindowConstants<I, kWindows> MakeWindowConstants(const RgbClosedForms& forms) {
  WindowConstants<I, kWindows> k;
  k.forms = MakeFormConstants<I>(forms);
  const LumaWindows& w = forms.windows;
  for (int j = 0; j < kWindows; ++j) k.tables[j] = I::LoadTable(w.entries[j]);
  k.redBlue = I::Set16(static_cast<int16_t>(P::kOffsets.redBlue - w.first));
  k.greenEven = I::Set16(static_cast<int16_t>(P::kOffsets.greenEven - w.first));
  k.greenOdd = I::Set16(static_cast<int16_t>(P::kOffsets.greenOdd - w.first));
  k.step = I::Set16(255);
  k.flip = I::Set8(static_cast<char>(w.flip));
  return k;
}

// One channel's levels in the two rows of a row pair.
template <typename I>
struct PairLevels {
  using V = typename I::V;
  V row0, row1;
};

template <typename I, typename V = typename I::V>
KELMAR_VECTOR_INLINE V WindowIndex(V luma, V positive, V negative) {
  return I::SubsU8(I::AddsU8(luma, positive), negative);
}

template <typename I, int kWindows, typename V = typename I::V>
KELMAR_VECTOR_INLINE void Accumulate(const WindowConstants<I, kWindows>& k, int j, V index0,
                                     V index1, PairLevels<I>& levels) {
  const V level0 = I::Lookup(k.tables[j], index0);
  const V level1 = I::Lookup(k.tables[j], index1);
  levels.row0 = j == 0 ? level0 : I::AddsU8(levels.row0, level0);
  levels.row1 = j == 0 ? level1 : I::AddsU8(levels.row1, level1);
}

template <typename I, int kWindows>
KELMAR_VECTOR_INLINE PairLevels<I> Flipped(const WindowConstants<I, kWindows>& k,
                                           PairLevels<I> levels) {
  if (kWindows == 1) return levels;
  return {I::Xor(levels.row0, k.flip), I::Xor(levels.row1, k.flip)};
}

// A channel whose offset is the same for every pixel: `t` holds, per
// chroma sample, the term plus the offset minus the first window's start.
template <typename I, int kWindows, typename V = typename I::V>
KELMAR_VECTOR_INLINE PairLevels<I> ChannelLevels(const WindowConstants<I, kWindows>& k, V luma0,
                                                 V luma1, V t) {
  PairLevels<I> levels;
  for (int j = 0; j < kWindows; ++j) {
    const V both = I::PackBoth(t);
    const V positive = I::template Spread<false>(both);
    const V negative = I::template Spread<true>(both);
    Accumulate(k, j, WindowIndex<I>(luma0, positive, negative),
               WindowIndex<I>(luma1, positive, negative), levels);
    t = I::Sub16(t, k.step);
  }
  return Flipped(k, levels);
}

// Green with its checkerboard offsets: `even` for pixels at an even x + y,
// `odd` for the others; even rows start at an even x + y.
template <typename I, int kWindows, typename V = typename I::V>
KELMAR_VECTOR_INLINE PairLevels<I> CheckerLevels(const WindowConstants<I, kWindows>& k, V luma0,
                                                 V luma1, V even, V odd) {
  PairLevels<I> levels;
  for (int j = 0; j < kWindows; ++j) {
    const V bothEven = I::PackBoth(even);
    const V bothOdd = I::PackBoth(odd);
    const V index0 = WindowIndex<I>(luma0, I::template SpreadAlternating<false>(bothEven, bothOdd),
                                    I::template SpreadAlternating<true>(bothEven, bothOdd));
    const V index1 = WindowIndex<I>(luma1, I::template SpreadAlternating<false>(bothOdd, bothEven),
                                    I::template SpreadAlternating<true>(bothOdd, bothEven));
    Accumulate(k, j, index0, index1, levels);
    even = I::Sub16(even, k.step);
    odd = I::Sub16(odd, k.step);
  }
  return Flipped(k, levels);
}

template <typename P, typename I, int kWindows, typename In, typename Out,
          typename V = typename I::V>
KELMAR_VECTOR_INLINE void ConvertWindowRowPair(const WindowConstants<I, kWindows>& k, In y0, In y1,
                                               In u, In v, Out out0, Out out1) {
  const ChannelTerms<I> t = ComputeTerms<I>(k.forms, I::LoadChroma16(u), I::LoadChroma16(v));
  const V luma0 = I::LoadLuma(y0);
  const V luma1 = I::LoadLuma(y1);
  const PairLevels<I> b = ChannelLevels(k, luma0, luma1, I::Add16(t.blue, k.redBlue));
  const PairLevels<I> r = ChannelLevels(k, luma0, luma1, I::Add16(t.red, k.redBlue));
  const PairLevels<I> g = P::kOffsets.greenEven == P::kOffsets.greenOdd
                              ? ChannelLevels(k, luma0, luma1, I::Add16(t.green, k.greenEven))
                              : CheckerLevels(k, luma0, luma1, I::Add16(t.green, k.greenEven),
                                              I::Add16(t.green, k.greenOdd));
  StorePixels<I>(P(), out0, b.row0, g.row0, r.row0);
  StorePixels<I>(P(), out1, b.row1, g.row1, r.row1);
}

// Converts the runs of one macroblock row, four macroblocks per step; the
// last one to three of a run go four row pairs per step.
template <typename P, typename I, int kWindows>
struct WindowRunKernel {
  static constexpr ptrdiff_t kOut = 16 * P::kBytesPerPixel;
  static constexpr ptrdiff_t kStep = I::kMacroblocksPerStep;
  WindowConstants<I, kWindows> k;

  void Run(const WideMacroblockRow& row, ptrdiff_t column, ptrdiff_t count) const {
    const ptrdiff_t grouped = count - count % kStep;
    if (grouped > 0) {
      for (int j = 0; j < 8; ++j) {
        const auto [y0, y1, u, v, out0, out1] = RowPairOfMacroblocksFrom(row, j, column, kOut);
        for (ptrdiff_t c = 0; c < grouped; c += kStep)
          ConvertWindowRowPair<P>(k, y0 + 16 * c, y1 + 16 * c, u + 8 * c, v + 8 * c,
                                  out0 + kOut * c, out1 + kOut * c);
      }
    }
    for (ptrdiff_t c = column + grouped; c < column + count; ++c) {
      for (int j = 0; j < 8; j += 4) {
        const RowPairsInFourLanes p = FourRowPairsOfMacroblock(row, j, c, kOut);
        ConvertWindowRowPair<P>(k, p.y0, p.y1, p.u, p.v, p.out0, p.out1);
      }
    }
  }
};

template <typename P, typename I, int kWindows>
void ConvertPictureWithWindows(const RgbJob& job) {
  const WindowRunKernel<P, I, kWindows> kernel = {
      MakeWindowConstants<P, I, kWindows>(job.tables->forms)};
  ConvertWideRows(job, P::kRows, kernel);
}

// The kernel compiled for the number of windows of the tables.
template <typename P, typename I>
PictureConverter WindowKernel(const RgbClosedForms& forms) {
  switch (forms.windows.count) {
    case 1: return ConvertPictureWithWindows<P, I, 1>;
    case 2: return ConvertPictureWithWindows<P, I, 2>;
    case 3: return ConvertPictureWithWindows<P, I, 3>;
    case 4: return ConvertPictureWithWindows<P, I, 4>;
    default: return ConvertPictureWithWindows<P, I, kMaxLumaWindows>;
  }
}

template <typename I>
PictureConverter WindowKernelFor(RgbLayout layout, const RgbClosedForms& forms) {
  switch (layout) {
    case RgbLayout::kRgb24: return WindowKernel<Rgb24Facts, I>(forms);
    case RgbLayout::kRgb555: return WindowKernel<Rgb555Facts, I>(forms);
    case RgbLayout::kRgb565: return WindowKernel<Rgb565Facts, I>(forms);
    case RgbLayout::kPal8: break;
  }
  return nullptr;
}

}  // namespace
}  // namespace kelmar
