// How the vector kernels walk a macroblock row: runs of consecutive marked
// macroblocks, and the rows of one row pair across a run.  Shared by the RGB
// and 8-bit kernels and their dispatch.
#pragma once

#include <cstdint>

#include "rgb/wide_rgb.h"

namespace kelmar {
namespace {

// The row pointers of macroblock row `mbRow`, from every row's own table
// entry or by stepping from its first entries.
inline WideMacroblockRow StartWideRow(const RgbJob& job, ptrdiff_t mbRow, uint8_t* rowOut,
                                      ptrdiff_t outRowStep, const MarkedRuns& runs,
                                      RowSource source) {
  const PlaneSet* planes = job.planes;
  WideMacroblockRow row = {{}, {}, {}, rowOut, outRowStep, runs};
  const ptrdiff_t firstLuma = 16 * mbRow;
  const ptrdiff_t firstChroma = 8 * mbRow;
  if (source == RowSource::kEveryEntry) {
    for (int r = 0; r < 16; ++r) row.y[r] = planes->yRows[firstLuma + r];
    for (int j = 0; j < 8; ++j) {
      row.u[j] = planes->uRows[firstChroma + j];
      row.v[j] = planes->vRows[firstChroma + j];
    }
  } else {
    const ptrdiff_t lumaStride = LumaStride(planes);
    const ptrdiff_t chromaStride = ChromaStrideFromLuma(lumaStride);
    for (int r = 0; r < 16; ++r) row.y[r] = StepBytes(planes->yRows[firstLuma], r * lumaStride);
    for (int j = 0; j < 8; ++j) {
      row.u[j] = StepBytes(planes->uRows[firstChroma], j * chromaStride);
      row.v[j] = StepBytes(planes->vRows[firstChroma], j * chromaStride);
    }
  }
  return row;
}

// The whole picture with one kernel, whose constants the caller made once:
// kernel.Run(row, column, count) for every run of marked macroblocks.
template <typename Kernel>
inline void ConvertWideRows(const RgbJob& job, RowSource source, const Kernel& kernel) {
  // From a luma row's output row to the next one's: at double size two
  // output rows of twice the width.
  const ptrdiff_t outRowStep = job.zoom ? 4 * job.rowBytes : job.rowBytes;
  ForEachMarkedRow(job.map, [&](ptrdiff_t mbRow, const MarkedRuns& runs) {
    const WideMacroblockRow row = StartWideRow(
        job, mbRow, StepBytes(job.dst, mbRow * job.mbRowAdvance), outRowStep, runs, source);
    runs.ForEach([&](ptrdiff_t column, ptrdiff_t count) { kernel.Run(row, column, count); });
  });
}

// Row pair `j` of the macroblocks from `column` on, with output rows of
// `macroblockBytes` per macroblock.
inline RowPair RowPairOfMacroblocksFrom(const WideMacroblockRow& row, int j, ptrdiff_t column,
                                        ptrdiff_t macroblockBytes) {
  uint8_t* out0 = row.out + 2 * j * row.outRowStep + macroblockBytes * column;
  return {row.y[2 * j] + 16 * column,
          row.y[2 * j + 1] + 16 * column,
          row.u[j] + 8 * column,
          row.v[j] + 8 * column,
          out0,
          out0 + row.outRowStep};
}

// Row pairs j and j + 1 of one macroblock, one in each 128-bit lane: a
// macroblock with no marked neighbour to pair with fills 256-bit vectors
// with two of its own row pairs instead.
using RowPairsInLanes = RowPairOf<TwoRows, TwoOutputRows>;

inline RowPairsInLanes TwoRowPairsOfMacroblock(const WideMacroblockRow& row, int j,
                                               ptrdiff_t column, ptrdiff_t macroblockBytes) {
  const ptrdiff_t x = 16 * column;
  uint8_t* out0 = row.out + 2 * j * row.outRowStep + macroblockBytes * column;
  uint8_t* out1 = out0 + row.outRowStep;
  return {{row.y[2 * j] + x, row.y[2 * j + 2] + x}, {row.y[2 * j + 1] + x, row.y[2 * j + 3] + x},
          {row.u[j] + x / 2, row.u[j + 1] + x / 2}, {row.v[j] + x / 2, row.v[j + 1] + x / 2},
          {out0, out0 + 2 * row.outRowStep},        {out1, out1 + 2 * row.outRowStep}};
}

// Row pairs j to j + 3 of one macroblock, one in each 128-bit lane: a
// macroblock without three marked neighbours fills 512-bit vectors with
// four of its own row pairs instead.
using RowPairsInFourLanes = RowPairOf<FourRows, FourOutputRows>;

inline RowPairsInFourLanes FourRowPairsOfMacroblock(const WideMacroblockRow& row, int j,
                                                    ptrdiff_t column, ptrdiff_t macroblockBytes) {
  const ptrdiff_t x = 16 * column;
  RowPairsInFourLanes p;
  for (int lane = 0; lane < 4; ++lane) {
    const int pair = j + lane;
    uint8_t* out0 = row.out + 2 * pair * row.outRowStep + macroblockBytes * column;
    p.y0.row[lane] = row.y[2 * pair] + x;
    p.y1.row[lane] = row.y[2 * pair + 1] + x;
    p.u.row[lane] = row.u[pair] + x / 2;
    p.v.row[lane] = row.v[pair] + x / 2;
    p.out0.row[lane] = out0;
    p.out1.row[lane] = out0 + row.outRowStep;
  }
  return p;
}

// Double size: where the doubled pixels of a vector go, `first` bytes into
// the output of each 128-bit lane.  Lane k of a vector for one row holds
// its pixels 16k to 16k + 15, whose output starts `laneBytes` times k into
// the row's; a lane that holds a row of its own starts at that row's output.
template <typename Isa>
KELMAR_VECTOR_INLINE auto DoubledLanes(uint8_t* out, ptrdiff_t first, ptrdiff_t laneBytes) {
  if constexpr (Isa::kMacroblocksPerStep == 1) {
    return out + first;
  } else if constexpr (Isa::kMacroblocksPerStep == 2) {
    return TwoOutputRows{out + first, out + laneBytes + first};
  } else {
    FourOutputRows lanes;
    for (int k = 0; k < 4; ++k) lanes.row[k] = out + k * laneBytes + first;
    return lanes;
  }
}
template <typename Isa>
KELMAR_VECTOR_INLINE TwoOutputRows DoubledLanes(TwoOutputRows out, ptrdiff_t first, ptrdiff_t) {
  return {out.low + first, out.high + first};
}
template <typename Isa>
KELMAR_VECTOR_INLINE FourOutputRows DoubledLanes(FourOutputRows out, ptrdiff_t first, ptrdiff_t) {
  FourOutputRows lanes;
  for (int k = 0; k < 4; ++k) lanes.row[k] = out.row[k] + first;
  return lanes;
}

}  // namespace
}  // namespace kelmar
