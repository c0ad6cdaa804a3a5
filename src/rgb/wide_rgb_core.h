// The arithmetic of the vector RGB paths, written once for every vector
// width.  Included by each instruction-set file after it has switched the
// compiler's target and defined, for its vector type V, the primitives
//   Zero(V), Set16(V, int16_t), Set32(V, int32_t), Add16, Sub16, Mullo16,
//   MulhiU16, CmpGt16, CmpEq16, Abs16, Sign16(magnitude, x), And, Or,
//   Srli16<n>, Slli16<n>, UnpackLo16, UnpackHi16, UnpackLo8, UnpackHi8,
//   PackUS16, and for 8-bit output Set8, AddsU8, SubsU8, MaxU8, MinU8;
// the loads LoadLuma(V, p), LoadChroma16(V, p) (samples widened to 16 bits)
// and LoadChromaPairs(V, p) (each sample twice); and the stores
// StoreBgr24(out, b, g, r), StoreWords(out, a, b) (a and b from UnpackLo8 /
// UnpackHi8) and StoreBytes(out, a).  A 256-bit V also needs the loads and
// stores for TwoRows / TwoOutputRows and SetLanes32(V, low, high).
// Everything here has internal linkage, so each file gets its own copy
// compiled for its own target.
//
// Lane order: a vector of luma bytes is split into its low and high halves of
// every 128-bit lane (UnpackLo8 / UnpackHi8 with zero), and a vector of chroma
// samples widened to 16 bits is duplicated the same way (UnpackLo16 /
// UnpackHi16 with itself), so pixel pairs meet the chroma sample that serves
// them, and PackUS16 restores the pixel order within every 128-bit lane.
#pragma once

#include <cstdint>
#include <cstring>

#include "rgb/closed_forms.h"
#include "rgb/wide_rgb.h"

namespace kelmar {
namespace {

template <typename V>
struct FormConstants {
  V c128;
  V uBlueHigh, uBlueLow, uGreenHigh, uGreenLow;
  V vGreenHigh, vGreenLow, vRedHigh, vRedLow;
  V lift;       // kUnitSlope: lift; kRational: lift
  V threshold;  // kUnitSlope: 128 + lift, the level at which the +1 stops
  V scale, bias, multiplier, rounding;
  V raise[kMaxLumaExceptionsPerSide];  // m of the indices corrected by +1
  V lower[kMaxLumaExceptionsPerSide];  // m of the indices corrected by -1
};

inline int16_t IndexM(const LumaForm& luma, int16_t index) {
  return static_cast<int16_t>(index * luma.scale + luma.bias);
}

// `first` in the even 16-bit lanes, `second` in the odd ones.
template <typename V>
inline V SetPairs16(V tag, int32_t first, int32_t second) {
  const uint32_t low = static_cast<uint16_t>(first);
  const uint32_t high = static_cast<uint16_t>(second);
  return Set32(tag, static_cast<int32_t>(low | high << 16));
}

inline uint32_t LoadU32(const uint8_t* p) {
  uint32_t word;
  std::memcpy(&word, p, 4);
  return word;
}

template <typename V>
inline V SetUnsigned16(V tag, uint16_t value) {
  return Set16(tag, static_cast<int16_t>(value));
}

template <typename V>
FormConstants<V> MakeFormConstants(const RgbClosedForms& forms) {
  const V tag = Zero(V());
  FormConstants<V> k;
  k.c128 = Set16(tag, 128);
  k.uBlueHigh = SetUnsigned16(tag, forms.uBlue.high);
  k.uBlueLow = SetUnsigned16(tag, forms.uBlue.low);
  k.uGreenHigh = SetUnsigned16(tag, forms.uGreen.high);
  k.uGreenLow = SetUnsigned16(tag, forms.uGreen.low);
  k.vGreenHigh = SetUnsigned16(tag, forms.vGreen.high);
  k.vGreenLow = SetUnsigned16(tag, forms.vGreen.low);
  k.vRedHigh = SetUnsigned16(tag, forms.vRed.high);
  k.vRedLow = SetUnsigned16(tag, forms.vRed.low);
  const LumaForm& luma = forms.luma;
  k.lift = Set16(tag, luma.lift);
  k.threshold = Set16(tag, static_cast<int16_t>(128 + luma.lift));
  k.scale = Set16(tag, luma.scale);
  k.bias = Set16(tag, luma.bias);
  k.multiplier = SetUnsigned16(tag, luma.multiplier);
  k.rounding = SetUnsigned16(tag, luma.rounding);
  for (int32_t e = 0; e < kMaxLumaExceptionsPerSide; ++e) {
    k.raise[e] = Set16(tag, e < luma.raiseCount ? IndexM(luma, luma.raise[e]) : luma.unusedM);
    k.lower[e] = Set16(tag, e < luma.lowerCount ? IndexM(luma, luma.lower[e]) : luma.unusedM);
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

// Correction slots per direction the kernel is compiled for.
inline int32_t SlotsFor(const LumaForm& luma) {
  const int32_t most = luma.raiseCount > luma.lowerCount ? luma.raiseCount : luma.lowerCount;
  return most == 0 ? 0 : most <= 1 ? 1 : most <= 2 ? 2 : kMaxLumaExceptionsPerSide;
}

template <typename V>
inline V Magnitude(V absX, V high, V low) {
  return Add16(Mullo16(absX, high), MulhiU16(absX, low));
}

// The chroma terms of one vector of chroma samples (widened to 16 bits).
template <typename V>
struct ChannelTerms {
  V blue, green, red;
};

template <typename V>
inline ChannelTerms<V> ComputeTerms(const FormConstants<V>& k, V u16, V v16) {
  const V xu = Sub16(u16, k.c128);
  const V xv = Sub16(v16, k.c128);
  const V au = Abs16(xu);
  const V av = Abs16(xv);
  ChannelTerms<V> t;
  t.blue = Sign16(Magnitude(au, k.uBlueHigh, k.uBlueLow), xu);
  t.red = Sign16(Magnitude(av, k.vRedHigh, k.vRedLow), xv);
  const V uGreen = Sign16(Magnitude(au, k.uGreenHigh, k.uGreenLow), xu);
  const V vGreen = Sign16(Magnitude(av, k.vGreenHigh, k.vGreenLow), xv);
  t.green = Sub16(Sub16(Zero(V()), uGreen), vGreen);  // both coefficients are negative
  return t;
}

// A channel's chroma part of the luma form for index luma + term + offset:
// unit slope term + offset + lift, rational (term + offset) * scale + bias.
template <typename F, typename V>
inline V PrepareTerm(const FormConstants<V>& k, V term, V offset) {
  const V index = Add16(term, offset);
  if (F::kind == LumaFormKind::kUnitSlope) return Add16(index, k.lift);
  return Add16(Mullo16(index, k.scale), k.bias);
}

// The luma part: the sample itself (unit slope) or sample * scale.
template <typename F, typename V>
inline V PrepareLuma(const FormConstants<V>& k, V luma16) {
  if (F::kind == LumaFormKind::kUnitSlope) return luma16;
  return Mullo16(luma16, k.scale);
}

// The unclamped level of LumaTable at the index whose two parts are given;
template <typename F, typename V>
inline V Level(const FormConstants<V>& k, V lumaPart, V termPart) {
  const V sum = Add16(lumaPart, termPart);
  if (F::kind == LumaFormKind::kUnitSlope) return Sub16(sum, CmpGt16(k.threshold, sum));
  const V m = sum;
  const V quotient = MulhiU16(Add16(Abs16(m), k.rounding), k.multiplier);
  V level = Add16(Sign16(quotient, m), k.lift);
  for (int e = 0; e < F::slots; ++e) {
    level = Sub16(level, CmpEq16(m, k.raise[e]));
    level = Add16(level, CmpEq16(m, k.lower[e]));
  }
  return level;
}

// The prepared terms of the pixels of one luma vector: `low` serves the
// pixels of UnpackLo8, `high` those of UnpackHi8.
template <typename V>
struct PixelPairTerms {
  V low, high;
};

template <typename V>
inline PixelPairTerms<V> SpreadToPixels(V prepared) {
  return {UnpackLo16(prepared, prepared), UnpackHi16(prepared, prepared)};
}

// Calls kernel.Run(row, column, count) for every run of consecutive marked
// macroblocks.
template <typename Kernel>
inline void ForEachMarkedRun(const WideMacroblockRow& row, const Kernel& kernel) {
  int32_t c = 0;
  while (c < row.mbCols) {
    if (!row.map[c]) {
      ++c;
      continue;
    }
    int32_t end = c + 1;
    while (end < row.mbCols && row.map[end]) ++end;
    kernel.Run(row, c, end - c);
    c = end;
  }
}

// Row pairs j and j + 1 of macroblock `column`, one for each 128-bit lane:
// a macroblock with no marked neighbour to pair with fills 256-bit vectors
// with two of its row pairs instead.
struct TwoRowPairs {
  TwoRows y0, y1, u, v;
  TwoOutputRows out0, out1;
};

inline TwoRowPairs RowPairsOf(const WideMacroblockRow& row, int j, int32_t column,
                              int32_t outBytes) {
  const int32_t x = 16 * column;
  uint8_t* out0 = row.out + 2 * j * row.rowBytes + outBytes * column;
  uint8_t* out1 = out0 + row.rowBytes;
  return {{row.y[2 * j] + x, row.y[2 * j + 2] + x}, {row.y[2 * j + 1] + x, row.y[2 * j + 3] + x},
          {row.u[j] + x / 2, row.u[j + 1] + x / 2}, {row.v[j] + x / 2, row.v[j + 1] + x / 2},
          {out0, out0 + 2 * row.rowBytes},          {out1, out1 + 2 * row.rowBytes}};
}

// Row pair `j` of the macroblocks from `column` on: two luma rows, their
// chroma rows and two output rows of `macroblockBytes` per macroblock.
struct WideRowPair {
  const uint8_t* y0;
  const uint8_t* y1;
  const uint8_t* u;
  const uint8_t* v;
  uint8_t* out0;
  uint8_t* out1;
};

inline WideRowPair RowPairOfRow(const WideMacroblockRow& row, int j, int32_t column,
                                int32_t macroblockBytes) {
  uint8_t* out0 = row.out + 2 * j * row.rowBytes + macroblockBytes * column;
  return {row.y[2 * j] + 16 * column,
          row.y[2 * j + 1] + 16 * column,
          row.u[j] + 8 * column,
          row.v[j] + 8 * column,
          out0,
          out0 + row.rowBytes};
}

// The layouts: bytes per pixel and the rounding offsets added to the
// LumaTable index (green alternates by the parity of x + y).
struct Rgb24Pixels {
  static constexpr int kBytesPerPixel = 3;
  static constexpr int kRedBlue = 0, kGreenEven = 0, kGreenOdd = 0;
};
struct Rgb555Pixels {
  static constexpr int kBytesPerPixel = 2;
  static constexpr int kRedBlue = 4, kGreenEven = 6, kGreenOdd = 2;
};
struct Rgb565Pixels {
  static constexpr int kBytesPerPixel = 2;
  static constexpr int kRedBlue = 4, kGreenEven = 3, kGreenOdd = 1;
};

// Blue, green and red bytes (saturated levels) of 16 or 32 pixels to the
// layout's pixels.
template <typename V, typename Out>
inline void StorePixels(Rgb24Pixels, Out out, V b, V g, V r) {
  StoreBgr24(out, b, g, r);
}

// 0RRRRRGG GGGBBBBB, low byte first.  The 16-bit shifts move bits across
// byte boundaries; the masks keep only each byte's own.
template <typename V, typename Out>
inline void StorePixels(Rgb555Pixels, Out out, V b, V g, V r) {
  const V tag = Zero(V());
  const V high = Or(And(Srli16<1>(r), Set16(tag, 0x7C7C)), And(Srli16<6>(g), Set16(tag, 0x0303)));
  const V low = Or(And(Slli16<2>(g), Set16(tag, static_cast<int16_t>(0xE0E0))),
                   And(Srli16<3>(b), Set16(tag, 0x1F1F)));
  StoreWords(out, UnpackLo8(low, high), UnpackHi8(low, high));
}

// RRRRRGGG GGGBBBBB, low byte first.
template <typename V, typename Out>
inline void StorePixels(Rgb565Pixels, Out out, V b, V g, V r) {
  const V tag = Zero(V());
  const V high =
      Or(And(r, Set16(tag, static_cast<int16_t>(0xF8F8))), And(Srli16<5>(g), Set16(tag, 0x0707)));
  const V low = Or(And(Slli16<3>(g), Set16(tag, static_cast<int16_t>(0xE0E0))),
                   And(Srli16<3>(b), Set16(tag, 0x1F1F)));
  StoreWords(out, UnpackLo8(low, high), UnpackHi8(low, high));
}

// The layout's offsets in the units of the luma form: red / blue before the
// chroma terms are prepared, green (per pixel, even row and odd row) after.
template <typename V>
struct LayoutOffsets {
  V redBlue;
  V green[2];
};

template <typename F, typename P, typename V>
LayoutOffsets<V> MakeLayoutOffsets(const LumaForm& luma) {
  const V tag = Zero(V());
  const int32_t unit = F::kind == LumaFormKind::kUnitSlope ? 1 : luma.scale;
  LayoutOffsets<V> o;
  o.redBlue = Set16(tag, P::kRedBlue);
  // Even rows start at an even x + y, odd rows at an odd one.
  o.green[0] = SetPairs16(tag, P::kGreenEven * unit, P::kGreenOdd * unit);
  o.green[1] = SetPairs16(tag, P::kGreenOdd * unit, P::kGreenEven * unit);
  return o;
}

template <typename V>
inline PixelPairTerms<V> AddToPixels(const PixelPairTerms<V>& t, V offset) {
  return {Add16(t.low, offset), Add16(t.high, offset)};
}

// One row of 16 or 32 pixels.
template <typename F, typename P, typename V, typename In, typename Out>
inline void ConvertRow(const FormConstants<V>& k, In y, const PixelPairTerms<V>& blue,
                       const PixelPairTerms<V>& green, const PixelPairTerms<V>& red, Out out) {
  const V zero = Zero(V());
  const V luma = LoadLuma(zero, y);
  const V low = PrepareLuma<F>(k, UnpackLo8(luma, zero));
  const V high = PrepareLuma<F>(k, UnpackHi8(luma, zero));
  const V b = PackUS16(Level<F>(k, low, blue.low), Level<F>(k, high, blue.high));
  const V g = PackUS16(Level<F>(k, low, green.low), Level<F>(k, high, green.high));
  const V r = PackUS16(Level<F>(k, low, red.low), Level<F>(k, high, red.high));
  StorePixels(P(), out, b, g, r);
}

// One row pair of 16 (128-bit V) or 32 (256-bit V) pixels, or with TwoRows
// two row pairs of 16 pixels.
template <typename F, typename P, typename V, typename In, typename Out>
inline void ConvertRowPair(const FormConstants<V>& k, const LayoutOffsets<V>& o, In y0, In y1, In u,
                           In v, Out out0, Out out1) {
  const V zero = Zero(V());
  const ChannelTerms<V> t = ComputeTerms(k, LoadChroma16(zero, u), LoadChroma16(zero, v));
  const V redBlue = P::kRedBlue ? o.redBlue : zero;
  const PixelPairTerms<V> blue = SpreadToPixels(PrepareTerm<F>(k, t.blue, redBlue));
  const PixelPairTerms<V> red = SpreadToPixels(PrepareTerm<F>(k, t.red, redBlue));
  const PixelPairTerms<V> green = SpreadToPixels(PrepareTerm<F>(k, t.green, zero));
  if (P::kGreenEven == 0 && P::kGreenOdd == 0) {
    ConvertRow<F, P>(k, y0, blue, green, red, out0);
    ConvertRow<F, P>(k, y1, blue, green, red, out1);
  } else {
    ConvertRow<F, P>(k, y0, blue, AddToPixels(green, o.green[0]), red, out0);
    ConvertRow<F, P>(k, y1, blue, AddToPixels(green, o.green[1]), red, out1);
  }
}

// Converts the runs of one macroblock row, 16 pixels at a time with 128-bit
// V and 32 with 256-bit V; a last odd macroblock of a run then goes two row
// pairs at a time.
template <typename F, typename P, typename V>
struct RunKernel {
  static constexpr int32_t kOut = 16 * P::kBytesPerPixel;  // output bytes of a macroblock row
  static constexpr int32_t kStep = sizeof(V) / 16;         // macroblocks per step
  FormConstants<V> k;
  LayoutOffsets<V> offsets;

  void Run(const WideMacroblockRow& row, int32_t column, int32_t count) const {
    const int32_t paired = count - count % kStep;
    for (int j = 0; j < 8; ++j) {
      const auto [y0, y1, u, v, out0, out1] = RowPairOfRow(row, j, column, kOut);
      for (int32_t c = 0; c < paired; c += kStep)
        ConvertRowPair<F, P>(k, offsets, y0 + 16 * c, y1 + 16 * c, u + 8 * c, v + 8 * c,
                             out0 + kOut * c, out1 + kOut * c);
    }
    if constexpr (kStep == 2) {
      if (paired == count) return;
      for (int j = 0; j < 8; j += 2) {
        const TwoRowPairs p = RowPairsOf(row, j, column + paired, kOut);
        ConvertRowPair<F, P>(k, offsets, p.y0, p.y1, p.u, p.v, p.out0, p.out1);
      }
    }
  }
};

template <typename F, typename P, typename V>
void ConvertRuns(const RgbClosedForms& forms, const WideMacroblockRow& row) {
  const RunKernel<F, P, V> kernel = {MakeFormConstants<V>(forms),
                                     MakeLayoutOffsets<F, P, V>(forms.luma)};
  ForEachMarkedRun(row, kernel);
}

// Chooses the kernel compiled for the form of the tables.
template <typename P, typename V>
void ConvertMacroblockRow(const RgbClosedForms& forms, const WideMacroblockRow& row) {
  using Kind = LumaFormKind;
  if (forms.luma.kind == Kind::kUnitSlope)
    return ConvertRuns<Form<Kind::kUnitSlope, 0>, P, V>(forms, row);
  switch (SlotsFor(forms.luma)) {
    case 0: return ConvertRuns<Form<Kind::kRational, 0>, P, V>(forms, row);
    case 1: return ConvertRuns<Form<Kind::kRational, 1>, P, V>(forms, row);
    case 2: return ConvertRuns<Form<Kind::kRational, 2>, P, V>(forms, row);
    default: return ConvertRuns<Form<Kind::kRational, 4>, P, V>(forms, row);
  }
}

// 8-bit output.  A palette index is YQuantTable[Y + b] + UQuantTable[u + d]
// + VQuantTable[v + d] with the dither offsets b and d of the pixel's matrix
// position; those tables are runs of equal values (checked before this code
// runs), computed here with saturating byte arithmetic on 16 or 32 pixels:
//   luma share   clamp((sat(Y + b) - 14) & 0xF0, 16, 224)
//   U share      min(((sat(u + d) - 80) >> 5) * 4, 12)
//   V share      min((sat(v + d) - 80) >> 5, 3)
// where sat() saturates at 255 and the subtraction at 0.  The shares occupy
// separate bits, so their sum is their union.
template <typename V>
struct DitherRows {
  V luma[4];    // BayerMatrix row p, repeated along the vector
  V chroma[4];  // DitherMatrix row p
};

template <typename V>
DitherRows<V> MakeDitherRows(const DitherPatterns& patterns) {
  const V tag = Zero(V());
  DitherRows<V> rows;
  for (int p = 0; p < 4; ++p) {
    rows.luma[p] = Set32(tag, static_cast<int32_t>(LoadU32(patterns.luma[p])));
    rows.chroma[p] = Set32(tag, static_cast<int32_t>(LoadU32(patterns.chroma[p])));
  }
  return rows;
}

template <typename V, typename In, typename Out>
inline void DitherRow(const DitherRows<V>& d, int p, In y, V u, V v, Out out) {
  const V tag = Zero(V());
  const V luma = AddsU8(LoadLuma(tag, y), d.luma[p]);
  const V lumaShare = MinU8(MaxU8(And(SubsU8(luma, Set8(tag, 14)), Set8(tag, 0xF0)), Set8(tag, 16)),
                            Set8(tag, static_cast<char>(224)));
  const V uLevel = SubsU8(AddsU8(u, d.chroma[p]), Set8(tag, 80));
  const V vLevel = SubsU8(AddsU8(v, d.chroma[p]), Set8(tag, 80));
  const V uShare = MinU8(And(Srli16<3>(uLevel), Set8(tag, 0x1C)), Set8(tag, 12));
  const V vShare = MinU8(And(Srli16<5>(vLevel), Set8(tag, 0x07)), Set8(tag, 3));
  StoreBytes(out, Or(Or(lumaShare, uShare), vShare));
}

// Row pair j of 16 or 32 pixels: matrix rows 0 and 1 for even j, 2 and 3 for
// odd j.
template <typename V, typename In, typename Out>
inline void DitherRowPair(const DitherRows<V>& d, int j, In y0, In y1, In u, In v, Out out0,
                          Out out1) {
  const V tag = Zero(V());
  const V uPairs = LoadChromaPairs(tag, u);
  const V vPairs = LoadChromaPairs(tag, v);
  const int p = 2 * (j & 1);
  DitherRow(d, p, y0, uPairs, vPairs, out0);
  DitherRow(d, p + 1, y1, uPairs, vPairs, out1);
}

template <typename V>
struct DitherKernel {
  static constexpr int32_t kStep = sizeof(V) / 16;
  DitherRows<V> rows;
  DitherRows<V> twoPairs;  // matrix rows 0 and 2, 1 and 3 side by side in the lanes

  void Run(const WideMacroblockRow& row, int32_t column, int32_t count) const {
    const int32_t paired = count - count % kStep;
    for (int j = 0; j < 8; ++j) {
      const auto [y0, y1, u, v, out0, out1] = RowPairOfRow(row, j, column, 16);
      for (int32_t c = 0; c < paired; c += kStep)
        DitherRowPair(rows, j, y0 + 16 * c, y1 + 16 * c, u + 8 * c, v + 8 * c, out0 + 16 * c,
                      out1 + 16 * c);
    }
    if constexpr (kStep == 2) {
      if (paired == count) return;
      // Row pairs j (even) and j + 1 use matrix rows 0-1 and 2-3.
      for (int j = 0; j < 8; j += 2) {
        const TwoRowPairs p = RowPairsOf(row, j, column + paired, 16);
        DitherRowPair(twoPairs, 0, p.y0, p.y1, p.u, p.v, p.out0, p.out1);
      }
    }
  }
};

template <typename V>
void DitherMacroblockRow(const DitherPatterns& patterns, const WideMacroblockRow& row) {
  DitherKernel<V> kernel = {MakeDitherRows<V>(patterns), MakeDitherRows<V>(patterns)};
  if constexpr (sizeof(V) == 32) {
    for (int r = 0; r < 2; ++r) {
      kernel.twoPairs.luma[r] =
          SetLanes32(V(), LoadU32(patterns.luma[r]), LoadU32(patterns.luma[r + 2]));
      kernel.twoPairs.chroma[r] =
          SetLanes32(V(), LoadU32(patterns.chroma[r]), LoadU32(patterns.chroma[r + 2]));
    }
  }
  ForEachMarkedRun(row, kernel);
}

}  // namespace
}  // namespace kelmar
