// The vector path of 8-bit output, written once for every vector width; see
// wide_rgb_core.h for the instruction-set traits Isa.
//
// A palette index is YQuantTable[Y + b] + UQuantTable[u + d] +
// VQuantTable[v + d] with the dither offsets b and d of the pixel's matrix
// position; those tables are runs of equal values (checked when the tables
// were built), computed here with saturating byte arithmetic on 16 or 32
// pixels, the biases kDitherLumaBias (2) and kDitherChromaBias (48) being
// added to the offsets beforehand:
//   luma share   max((sat(Y + b + 2) - 16) & 0xF0, 16)
//   U share      ((sat(u + d + 48) - 128) & 0x60) >> 3
//   V share      ((sat(v + d + 48) - 128) & 0x60) >> 5
// where sat() saturates at 255 and the subtraction at 0.  The saturation at
// 255 is the upper clamp of each share (239 before the mask for luma, 127
// for chroma), so no minimum is taken, and the luma subtraction and floor
// are one constant: four constants besides the offsets, which matters with
// eight vector registers.  The shares occupy separate bits, so their sum is
// their union.
#pragma once

#include <cstdint>
#include <cstring>
#include <type_traits>

#include "common/layout_facts.h"
#include "rgb/rgb_tables.h"
#include "rgb/vector_traits.h"
#include "rgb/wide_rgb.h"
#include "rgb/wide_rows.h"

namespace kelmar {
namespace {

template <typename Isa>
struct DitherRows {
  using Vec = typename Isa::Vec;
  Vec luma[4];    // BayerMatrix row p, repeated along the vector
  Vec chroma[4];  // DitherMatrix row p
};

// The four offsets of a matrix row plus `bias`, as the 32-bit word whose
// bytes in memory are those offsets in order.
inline uint32_t BiasedRow(const uint8_t (&offsets)[4], int32_t bias) {
  uint8_t biased[4];
  for (int k = 0; k < 4; ++k) biased[k] = static_cast<uint8_t>(offsets[k] + bias);
  uint32_t word;
  std::memcpy(&word, biased, 4);
  return word;
}

template <typename Isa>
DitherRows<Isa> MakeDitherRows(const DitherPatterns& patterns) {
  DitherRows<Isa> rows;
  for (int p = 0; p < 4; ++p) {
    rows.luma[p] = Isa::Set32(static_cast<int32_t>(BiasedRow(patterns.luma[p], kDitherLumaBias)));
    rows.chroma[p] =
        Isa::Set32(static_cast<int32_t>(BiasedRow(patterns.chroma[p], kDitherChromaBias)));
  }
  return rows;
}

// The indices of 16 pixels per 128-bit lane, or at double size each twice.
template <typename Isa, bool kDoubled, typename OutRows, typename Vec = typename Isa::Vec>
KELMAR_VECTOR_INLINE void StoreIndices(OutRows out, Vec indices) {
  if constexpr (kDoubled) {
    Isa::StoreBytes(DoubledLanes<Isa>(out, 0, 32), Isa::UnpackLo8(indices, indices));
    Isa::StoreBytes(DoubledLanes<Isa>(out, 16, 32), Isa::UnpackHi8(indices, indices));
  } else {
    Isa::StoreBytes(out, indices);
  }
}

template <typename Isa, bool kDoubled, typename Rows, typename OutRows,
          typename Vec = typename Isa::Vec>
KELMAR_VECTOR_INLINE void DitherRow(const DitherRows<Isa>& d, int p, Rows y, Vec u, Vec v,
                                    OutRows out) {
  const Vec sixteen = Isa::Set8(16);
  const Vec lumaShare =
      Isa::MaxU8(Isa::And(Isa::SubsU8(Isa::AddsU8(Isa::LoadLuma(y), d.luma[p]), sixteen),
                          Isa::Set8(static_cast<char>(0xF0))),
                 sixteen);
  const Vec half = Isa::Set8(static_cast<char>(128));
  const Vec chromaBits = Isa::Set8(0x60);
  // Masked before the 16-bit shifts, so no bit crosses into the byte below.
  const Vec uShare =
      Isa::template Srli16<3>(Isa::And(Isa::SubsU8(Isa::AddsU8(u, d.chroma[p]), half), chromaBits));
  const Vec vShare =
      Isa::template Srli16<5>(Isa::And(Isa::SubsU8(Isa::AddsU8(v, d.chroma[p]), half), chromaBits));
  StoreIndices<Isa, kDoubled>(out, Isa::Or(Isa::Or(lumaShare, uShare), vShare));
}

// Row pair j of 16 or 32 pixels: matrix rows 0 and 1 for even j, 2 and 3 for
// odd j.
template <typename Isa, bool kDoubled, typename Rows, typename OutRows,
          typename Vec = typename Isa::Vec>
KELMAR_VECTOR_INLINE void DitherRowPair(const DitherRows<Isa>& d, int j, Rows y0, Rows y1, Rows u,
                                        Rows v, OutRows out0, OutRows out1) {
  const Vec uPairs = Isa::LoadChromaPairs(u);
  const Vec vPairs = Isa::LoadChromaPairs(v);
  const int p = 2 * (j & 1);
  DitherRow<Isa, kDoubled>(d, p, y0, uPairs, vPairs, out0);
  DitherRow<Isa, kDoubled>(d, p + 1, y1, uPairs, vPairs, out1);
}

// kDoubled: double size, each index written twice side by side.
template <typename Isa, bool kDoubled>
struct DitherKernel {
  static constexpr ptrdiff_t kStep = Isa::kMacroblocksPerStep;
  static constexpr ptrdiff_t kOut = kDoubled ? 32 : 16;  // output bytes of a macroblock row
  DitherRows<Isa> rows;
  DitherRows<Isa> twoPairs;  // matrix rows 0 and 2, 1 and 3 side by side in the lanes

  void Run(const WideMacroblockRow& row, ptrdiff_t column, ptrdiff_t count) const {
    const ptrdiff_t paired = count - count % kStep;
    // With eight general and eight vector registers (32-bit x86) the rows
    // go one at a time, loading their chroma again: a row pair's pointers
    // and dither rows do not fit.  The dither rows are then copied to the
    // stack, addressed from the stack pointer, which leaves one more general
    // register for the row pointers; elsewhere the reference costs nothing.
    constexpr bool kFewRegisters = KELMAR_HAVE_WIDE && !KELMAR_WIDE_REGISTERS_32;
    using RowsHeld =
        std::conditional_t<kFewRegisters, const DitherRows<Isa>, const DitherRows<Isa>&>;
    RowsHeld local = rows;
    for (int j = 0; j < 8; ++j) {
      const auto [y0, y1, u, v, out0, out1] = RowPairOfMacroblocksFrom(row, j, column, kOut);
      if constexpr (kFewRegisters) {
        const int p = 2 * (j & 1);
        for (int r = 0; r < 2; ++r) {
          const uint8_t* const y = r == 0 ? y0 : y1;
          uint8_t* const out = r == 0 ? out0 : out1;
          for (ptrdiff_t c = 0; c < paired; c += kStep)
            DitherRow<Isa, kDoubled>(local, p + r, y + 16 * c, Isa::LoadChromaPairs(u + 8 * c),
                                     Isa::LoadChromaPairs(v + 8 * c), out + kOut * c);
        }
      } else {
        for (ptrdiff_t c = 0; c < paired; c += kStep)
          DitherRowPair<Isa, kDoubled>(local, j, y0 + 16 * c, y1 + 16 * c, u + 8 * c, v + 8 * c,
                                       out0 + kOut * c, out1 + kOut * c);
      }
    }
    if constexpr (kStep == 2) {
      if (paired == count) return;
      // Row pairs j (even) and j + 1 use matrix rows 0-1 and 2-3.
      for (int j = 0; j < 8; j += 2) {
        const RowPairsInLanes p = TwoRowPairsOfMacroblock(row, j, column + paired, kOut);
        DitherRowPair<Isa, kDoubled>(twoPairs, 0, p.y0, p.y1, p.u, p.v, p.out0, p.out1);
      }
    }
  }
};

template <typename Isa, bool kDoubled>
void DitherPicture(const RgbJob& job) {
  static_assert(vector_traits::DitherTraits<Isa>::kComplete);
  const DitherPatterns& patterns = job.tables->ditherForms.patterns;
  DitherKernel<Isa, kDoubled> kernel = {MakeDitherRows<Isa>(patterns),
                                        MakeDitherRows<Isa>(patterns)};
  if constexpr (Isa::kMacroblocksPerStep == 2) {
    for (int r = 0; r < 2; ++r) {
      kernel.twoPairs.luma[r] = Isa::SetLanes32(BiasedRow(patterns.luma[r], kDitherLumaBias),
                                                BiasedRow(patterns.luma[r + 2], kDitherLumaBias));
      kernel.twoPairs.chroma[r] =
          Isa::SetLanes32(BiasedRow(patterns.chroma[r], kDitherChromaBias),
                          BiasedRow(patterns.chroma[r + 2], kDitherChromaBias));
    }
  }
  ConvertWideRows(job, Pal8Facts::kRows, kernel);
}

// The dither kernel at either size.
template <typename Isa>
PictureConverter DitherKernelFor(bool doubleSize) {
  return doubleSize ? DitherPicture<Isa, true> : DitherPicture<Isa, false>;
}

}  // namespace
}  // namespace kelmar
