// The vector path of 8-bit output, written once for every vector width; see
// wide_rgb_core.h for the instruction-set traits I.
//
// A palette index is YQuantTable[Y + b] + UQuantTable[u + d] +
// VQuantTable[v + d] with the dither offsets b and d of the pixel's matrix
// position; those tables are runs of equal values (checked when the tables
// were built), computed here with saturating byte arithmetic on 16 or 32
// pixels:
//   luma share   clamp((sat(Y + b) - 14) & 0xF0, 16, 224)
//   U share      min(((sat(u + d) - 80) >> 5) * 4, 12)
//   V share      min((sat(v + d) - 80) >> 5, 3)
// where sat() saturates at 255 and the subtraction at 0.  The shares occupy
// separate bits, so their sum is their union.
#pragma once

#include <cstdint>

#include "common/layout_facts.h"
#include "rgb/wide_rgb.h"
#include "rgb/wide_rows.h"

namespace kelmar {
namespace {

template <typename I>
struct DitherRows {
  using V = typename I::V;
  V luma[4];    // BayerMatrix row p, repeated along the vector
  V chroma[4];  // DitherMatrix row p
};

template <typename I>
DitherRows<I> MakeDitherRows(const DitherPatterns& patterns) {
  DitherRows<I> rows;
  for (int p = 0; p < 4; ++p) {
    rows.luma[p] = I::Set32(static_cast<int32_t>(LoadU32(patterns.luma[p])));
    rows.chroma[p] = I::Set32(static_cast<int32_t>(LoadU32(patterns.chroma[p])));
  }
  return rows;
}

template <typename I, typename In, typename Out, typename V = typename I::V>
KELMAR_VECTOR_INLINE void DitherRow(const DitherRows<I>& d, int p, In y, V u, V v, Out out) {
  const V luma = I::AddsU8(I::LoadLuma(y), d.luma[p]);
  const V lumaShare = I::MinU8(
      I::MaxU8(I::And(I::SubsU8(luma, I::Set8(14)), I::Set8(static_cast<char>(0xF0))), I::Set8(16)),
      I::Set8(static_cast<char>(224)));
  const V uLevel = I::SubsU8(I::AddsU8(u, d.chroma[p]), I::Set8(80));
  const V vLevel = I::SubsU8(I::AddsU8(v, d.chroma[p]), I::Set8(80));
  const V uShare = I::MinU8(I::And(I::template Srli16<3>(uLevel), I::Set8(0x1C)), I::Set8(12));
  const V vShare = I::MinU8(I::And(I::template Srli16<5>(vLevel), I::Set8(0x07)), I::Set8(3));
  I::StoreBytes(out, I::Or(I::Or(lumaShare, uShare), vShare));
}

// Row pair j of 16 or 32 pixels: matrix rows 0 and 1 for even j, 2 and 3 for
// odd j.
template <typename I, typename In, typename Out, typename V = typename I::V>
KELMAR_VECTOR_INLINE void DitherRowPair(const DitherRows<I>& d, int j, In y0, In y1, In u, In v,
                                        Out out0, Out out1) {
  const V uPairs = I::LoadChromaPairs(u);
  const V vPairs = I::LoadChromaPairs(v);
  const int p = 2 * (j & 1);
  DitherRow<I>(d, p, y0, uPairs, vPairs, out0);
  DitherRow<I>(d, p + 1, y1, uPairs, vPairs, out1);
}

template <typename I>
struct DitherKernel {
  static constexpr ptrdiff_t kStep = I::kMacroblocksPerStep;
  DitherRows<I> rows;
  DitherRows<I> twoPairs;  // matrix rows 0 and 2, 1 and 3 side by side in the lanes

  void Run(const WideMacroblockRow& row, ptrdiff_t column, ptrdiff_t count) const {
    const ptrdiff_t paired = count - count % kStep;
    for (int j = 0; j < 8; ++j) {
      const auto [y0, y1, u, v, out0, out1] = RowPairOfMacroblocksFrom(row, j, column, 16);
      for (ptrdiff_t c = 0; c < paired; c += kStep)
        DitherRowPair<I>(rows, j, y0 + 16 * c, y1 + 16 * c, u + 8 * c, v + 8 * c, out0 + 16 * c,
                         out1 + 16 * c);
    }
    if constexpr (kStep == 2) {
      if (paired == count) return;
      // Row pairs j (even) and j + 1 use matrix rows 0-1 and 2-3.
      for (int j = 0; j < 8; j += 2) {
        const RowPairsInLanes p = TwoRowPairsOfMacroblock(row, j, column + paired, 16);
        DitherRowPair<I>(twoPairs, 0, p.y0, p.y1, p.u, p.v, p.out0, p.out1);
      }
    }
  }
};

template <typename I>
void DitherPicture(const RgbJob& job) {
  const DitherPatterns& patterns = job.tables->ditherForms.patterns;
  DitherKernel<I> kernel = {MakeDitherRows<I>(patterns), MakeDitherRows<I>(patterns)};
  if constexpr (I::kMacroblocksPerStep == 2) {
    for (int r = 0; r < 2; ++r) {
      kernel.twoPairs.luma[r] =
          I::SetLanes32(LoadU32(patterns.luma[r]), LoadU32(patterns.luma[r + 2]));
      kernel.twoPairs.chroma[r] =
          I::SetLanes32(LoadU32(patterns.chroma[r]), LoadU32(patterns.chroma[r + 2]));
    }
  }
  ConvertWideRows(job, Pal8Facts::kRows, kernel);
}

}  // namespace
}  // namespace kelmar
