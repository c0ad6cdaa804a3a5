// The vector RGB paths that look LumaTable up in its windows (LumaWindows in
// rgb/closed_forms.h) instead of computing a closed form of it.  Written for
// an instruction set Isa that can look up 256 bytes at once; included by its
// file after wide_rgb_core.h, whose chroma forms it shares.
//
// Besides the closed-form primitives (rgb/vector_traits.h), Isa provides:
//   Table                            256 bytes held in registers, LoadTable(p)
//   Lookup(table, index)             a byte per byte of `index`
//   kTablesInRegisters               whether the lookups ask for the table in
//                                    registers of their own (the kernel then
//                                    works on a copy of its constants)
//   Xor, AddsU8, SubsU8              bytes
//   PackBoth(index16)                per 128-bit lane: sat(index) of its 8
//                                    samples in bytes 0-7, sat(-index) in 8-15
//   Spread<kNegative>(both)          the part of each pixel's sample, for a
//                                    vector of pixels (pixel p: sample p / 2)
//   SpreadAlternating<kNegative>(even, odd)
//                                    the same, even pixels from `even`, odd
//                                    pixels from `odd`
//   LoadLuma, LoadCenteredChroma16, StoreBgr24, StoreWords also with FourRows /
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

template <typename Isa, int kWindows>
struct WindowConstants {
  using Vec = typename Isa::Vec;
  FormConstants<Isa> forms;
  typename Isa::Table tables[kWindows];
  // The layout's offsets minus the first window's start: t of window 0.
  Vec redBlue, greenEven, greenOdd;
  Vec step;  // 255: from one window's start to the next
  Vec flip;
};

template <typename Layout, typename Isa, int kWindows>
WindowConstants<Isa, kWindows> MakeWindowConstants(const RgbClosedForms& forms) {
  WindowConstants<Isa, kWindows> k;
  k.forms = MakeFormConstants<Isa>(forms);
  int32_t first = 0;
  uint8_t flip = 0;
  if constexpr (vector_traits::LooksUpHalvesAsWindow<Isa>()) {
    static_assert(kWindows == 1, "the halves are one window");
    k.tables[0] = Isa::LoadTable(forms.halves.tables);
    first = forms.halves.first;
  } else {
    for (int j = 0; j < kWindows; ++j) k.tables[j] = Isa::LoadTable(forms.windows.entries[j]);
    first = forms.windows.first;
    flip = forms.windows.flip;
  }
  k.redBlue = Isa::Set16(static_cast<int16_t>(Layout::kOffsets.redBlue - first));
  k.greenEven = Isa::Set16(static_cast<int16_t>(Layout::kOffsets.greenEven - first));
  k.greenOdd = Isa::Set16(static_cast<int16_t>(Layout::kOffsets.greenOdd - first));
  k.step = Isa::Set16(255);
  k.flip = Isa::Set8(static_cast<char>(flip));
  return k;
}

// One channel's levels in the two rows of a row pair.
template <typename Isa>
struct PairLevels {
  using Vec = typename Isa::Vec;
  Vec row0, row1;
};

template <typename Isa, typename Vec = typename Isa::Vec>
KELMAR_VECTOR_INLINE Vec WindowIndex(Vec luma, Vec positive, Vec negative) {
  return Isa::SubsU8(Isa::AddsU8(luma, positive), negative);
}

template <typename Isa, int kWindows, typename Vec = typename Isa::Vec>
KELMAR_VECTOR_INLINE void Accumulate(const WindowConstants<Isa, kWindows>& k, int j, Vec index0,
                                     Vec index1, PairLevels<Isa>& levels) {
  const Vec level0 = Isa::Lookup(k.tables[j], index0);
  const Vec level1 = Isa::Lookup(k.tables[j], index1);
  levels.row0 = j == 0 ? level0 : Isa::AddsU8(levels.row0, level0);
  levels.row1 = j == 0 ? level1 : Isa::AddsU8(levels.row1, level1);
}

template <typename Isa, int kWindows>
KELMAR_VECTOR_INLINE PairLevels<Isa> Flipped(const WindowConstants<Isa, kWindows>& k,
                                             PairLevels<Isa> levels) {
  if (kWindows == 1) return levels;
  return {Isa::Xor(levels.row0, k.flip), Isa::Xor(levels.row1, k.flip)};
}

// A channel whose offset is the same for every pixel: `t` holds, per
// chroma sample, the term plus the offset minus the first window's start.
template <typename Isa, int kWindows, typename Vec = typename Isa::Vec>
KELMAR_VECTOR_INLINE PairLevels<Isa> ChannelLevels(const WindowConstants<Isa, kWindows>& k,
                                                   Vec luma0, Vec luma1, Vec t) {
  PairLevels<Isa> levels;
  for (int j = 0; j < kWindows; ++j) {
    const Vec both = Isa::PackBoth(t);
    const Vec positive = Isa::template Spread<false>(both);
    const Vec negative = Isa::template Spread<true>(both);
    Accumulate(k, j, WindowIndex<Isa>(luma0, positive, negative),
               WindowIndex<Isa>(luma1, positive, negative), levels);
    t = Isa::Sub16(t, k.step);
  }
  return Flipped(k, levels);
}

// Green with its checkerboard offsets: `even` for pixels at an even x + y,
// `odd` for the others; even rows start at an even x + y.
template <typename Isa, int kWindows, typename Vec = typename Isa::Vec>
KELMAR_VECTOR_INLINE PairLevels<Isa> CheckerLevels(const WindowConstants<Isa, kWindows>& k,
                                                   Vec luma0, Vec luma1, Vec even, Vec odd) {
  PairLevels<Isa> levels;
  for (int j = 0; j < kWindows; ++j) {
    const Vec bothEven = Isa::PackBoth(even);
    const Vec bothOdd = Isa::PackBoth(odd);
    const Vec index0 =
        WindowIndex<Isa>(luma0, Isa::template SpreadAlternating<false>(bothEven, bothOdd),
                         Isa::template SpreadAlternating<true>(bothEven, bothOdd));
    const Vec index1 =
        WindowIndex<Isa>(luma1, Isa::template SpreadAlternating<false>(bothOdd, bothEven),
                         Isa::template SpreadAlternating<true>(bothOdd, bothEven));
    Accumulate(k, j, index0, index1, levels);
    even = Isa::Sub16(even, k.step);
    odd = Isa::Sub16(odd, k.step);
  }
  return Flipped(k, levels);
}

// One window, a row at a time (StoresSingleWindowByRow): each row's three
// channels are looked up and stored before the next row's, so that only the
// index parts (WindowIndex) stay live across the rows.  Green's parts differ
// between the rows only with checkerboard offsets.
template <typename Layout, typename Isa, typename Rows, typename OutRows,
          typename Vec = typename Isa::Vec>
KELMAR_VECTOR_INLINE void ConvertSingleWindowRowPair(const WindowConstants<Isa, 1>& k,
                                                     const ChannelTerms<Isa>& t, Rows y0, Rows y1,
                                                     OutRows out0, OutRows out1) {
  const Vec blue = Isa::PackBoth(Isa::Add16(t.blue, k.redBlue));
  const Vec red = Isa::PackBoth(Isa::Add16(t.red, k.redBlue));
  const Vec bluePositive = Isa::template Spread<false>(blue);
  const Vec blueNegative = Isa::template Spread<true>(blue);
  const Vec redPositive = Isa::template Spread<false>(red);
  const Vec redNegative = Isa::template Spread<true>(red);
  const Vec even = Isa::PackBoth(Isa::Add16(t.green, k.greenEven));
  Vec greenPositive0, greenNegative0, greenPositive1, greenNegative1;
  if constexpr (Layout::kOffsets.greenEven == Layout::kOffsets.greenOdd) {
    greenPositive0 = greenPositive1 = Isa::template Spread<false>(even);
    greenNegative0 = greenNegative1 = Isa::template Spread<true>(even);
  } else {
    const Vec odd = Isa::PackBoth(Isa::Add16(t.green, k.greenOdd));
    greenPositive0 = Isa::template SpreadAlternating<false>(even, odd);
    greenNegative0 = Isa::template SpreadAlternating<true>(even, odd);
    greenPositive1 = Isa::template SpreadAlternating<false>(odd, even);
    greenNegative1 = Isa::template SpreadAlternating<true>(odd, even);
  }
  const typename Isa::Table& table = k.tables[0];
  const Vec luma0 = Isa::LoadLuma(y0);
  StorePixels<Isa>(Layout(), out0,
                   Isa::Lookup(table, WindowIndex<Isa>(luma0, bluePositive, blueNegative)),
                   Isa::Lookup(table, WindowIndex<Isa>(luma0, greenPositive0, greenNegative0)),
                   Isa::Lookup(table, WindowIndex<Isa>(luma0, redPositive, redNegative)));
  const Vec luma1 = Isa::LoadLuma(y1);
  StorePixels<Isa>(Layout(), out1,
                   Isa::Lookup(table, WindowIndex<Isa>(luma1, bluePositive, blueNegative)),
                   Isa::Lookup(table, WindowIndex<Isa>(luma1, greenPositive1, greenNegative1)),
                   Isa::Lookup(table, WindowIndex<Isa>(luma1, redPositive, redNegative)));
}

template <typename Layout, typename Isa, int kWindows, typename Rows, typename OutRows,
          typename Vec = typename Isa::Vec>
KELMAR_VECTOR_INLINE void ConvertWindowRowPair(const WindowConstants<Isa, kWindows>& k, Rows y0,
                                               Rows y1, Rows u, Rows v, OutRows out0,
                                               OutRows out1) {
  const ChannelTerms<Isa> t =
      ComputeTerms<Isa>(k.forms, Isa::LoadCenteredChroma16(u), Isa::LoadCenteredChroma16(v));
  if constexpr (kWindows == 1 && vector_traits::StoresSingleWindowByRow<Isa>()) {
    ConvertSingleWindowRowPair<Layout, Isa>(k, t, y0, y1, out0, out1);
  } else {
    const Vec luma0 = Isa::LoadLuma(y0);
    const Vec luma1 = Isa::LoadLuma(y1);
    const PairLevels<Isa> b = ChannelLevels(k, luma0, luma1, Isa::Add16(t.blue, k.redBlue));
    const PairLevels<Isa> r = ChannelLevels(k, luma0, luma1, Isa::Add16(t.red, k.redBlue));
    const PairLevels<Isa> g = Layout::kOffsets.greenEven == Layout::kOffsets.greenOdd
                                  ? ChannelLevels(k, luma0, luma1, Isa::Add16(t.green, k.greenEven))
                                  : CheckerLevels(k, luma0, luma1, Isa::Add16(t.green, k.greenEven),
                                                  Isa::Add16(t.green, k.greenOdd));
    StorePixels<Isa>(Layout(), out0, b.row0, g.row0, r.row0);
    StorePixels<Isa>(Layout(), out1, b.row1, g.row1, r.row1);
  }
}

// Converts the runs of one macroblock row, one or four macroblocks per step;
// with four, the last one to three of a run go four row pairs per step.
template <typename Layout, typename Isa, int kWindows>
struct WindowRunKernel {
  static constexpr ptrdiff_t kOut = 16 * Layout::kBytesPerPixel;
  static constexpr ptrdiff_t kStep = Isa::kMacroblocksPerStep;
  WindowConstants<Isa, kWindows> k;

  void Run(const WideMacroblockRow& row, ptrdiff_t column, ptrdiff_t count) const {
    if constexpr (Isa::kTablesInRegisters) {
      // A copy, whose values stores to the output cannot change: the tables
      // stay in the registers their lookups ask for all through the run.
      const WindowConstants<Isa, kWindows> local = k;
      RunWith(local, row, column, count);
    } else {
      RunWith(k, row, column, count);
    }
  }

  KELMAR_VECTOR_INLINE static void RunWith(const WindowConstants<Isa, kWindows>& k,
                                           const WideMacroblockRow& row, ptrdiff_t column,
                                           ptrdiff_t count) {
    const ptrdiff_t grouped = count - count % kStep;
    if (grouped > 0) {
      for (int j = 0; j < 8; ++j) {
        const RowPair rows = RowPairOfMacroblocksFrom(row, j, column, kOut);
        const uint8_t* y0 = rows.y0;
        const uint8_t* y1 = rows.y1;
        const uint8_t* u = rows.u;
        const uint8_t* v = rows.v;
        uint8_t* out0 = rows.out0;
        uint8_t* out1 = rows.out1;
        for (ptrdiff_t c = 0; c < grouped; c += kStep, y0 += 16 * kStep, y1 += 16 * kStep,
                       u += 8 * kStep, v += 8 * kStep, out0 += kOut * kStep, out1 += kOut * kStep)
          ConvertWindowRowPair<Layout>(k, y0, y1, u, v, out0, out1);
      }
    }
    if constexpr (kStep == 4) {
      for (ptrdiff_t c = column + grouped; c < column + count; ++c) {
        for (int j = 0; j < 8; j += 4) {
          const RowPairsInFourLanes p = FourRowPairsOfMacroblock(row, j, c, kOut);
          ConvertWindowRowPair<Layout>(k, p.y0, p.y1, p.u, p.v, p.out0, p.out1);
        }
      }
    }
  }
};

template <typename Layout, typename Isa, int kWindows>
void ConvertPictureWithWindows(const RgbJob& job) {
  const WindowRunKernel<Layout, Isa, kWindows> kernel = {
      MakeWindowConstants<Layout, Isa, kWindows>(job.tables->forms)};
  ConvertWideRows(job, Layout::kRows, kernel);
}

// The kernel compiled for the number of windows of the tables.
template <typename Layout, typename Isa>
PictureConverter WindowKernel(const RgbClosedForms& forms) {
  static_assert(vector_traits::WindowTraits<Isa>::kComplete);
  switch (forms.windows.count) {
    case 1: return ConvertPictureWithWindows<Layout, Isa, 1>;
    case 2: return ConvertPictureWithWindows<Layout, Isa, 2>;
    case 3: return ConvertPictureWithWindows<Layout, Isa, 3>;
    case 4: return ConvertPictureWithWindows<Layout, Isa, 4>;
    default: return ConvertPictureWithWindows<Layout, Isa, kMaxLumaWindows>;
  }
}

// Double size with one window, the common adjusted settings' count; null
// for other tables.
template <typename Isa>
PictureConverter DoubledWindowKernelFor(RgbLayout layout, const RgbClosedForms& forms) {
  static_assert(vector_traits::WindowTraits<Isa>::kComplete);
  if (forms.windows.count != 1) return nullptr;
  return ForRgbLayout(layout, [](auto facts) -> PictureConverter {
    return ConvertPictureWithWindows<DoubledFacts<decltype(facts)>, Isa, 1>;
  });
}

// The luma by its halves as one window, for traits that look them up so,
// at normal and at double size.
template <typename Isa>
PictureConverter HalvesWindowKernelFor(RgbLayout layout) {
  static_assert(vector_traits::WindowTraits<Isa>::kComplete &&
                vector_traits::LooksUpHalvesAsWindow<Isa>());
  return ForRgbLayout(layout, [](auto facts) -> PictureConverter {
    return ConvertPictureWithWindows<decltype(facts), Isa, 1>;
  });
}
template <typename Isa>
PictureConverter DoubledHalvesWindowKernelFor(RgbLayout layout) {
  static_assert(vector_traits::WindowTraits<Isa>::kComplete &&
                vector_traits::LooksUpHalvesAsWindow<Isa>());
  return ForRgbLayout(layout, [](auto facts) -> PictureConverter {
    return ConvertPictureWithWindows<DoubledFacts<decltype(facts)>, Isa, 1>;
  });
}

template <typename Isa>
PictureConverter WindowKernelFor(RgbLayout layout, const RgbClosedForms& forms) {
  return ForRgbLayout(layout,
                      [&](auto facts) { return WindowKernel<decltype(facts), Isa>(forms); });
}

}  // namespace
}  // namespace kelmar
