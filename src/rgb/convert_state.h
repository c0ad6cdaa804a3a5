// What every RGB converter shares: the call's job (made once per call from
// the output geometry), the walk over the marked macroblocks (top to
// bottom, left to right) and the row converters of the integer, MMX and
// double-size paths.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/addressing.h"
#include "common/cpu.h"
#include "common/features.h"
#include "common/geometry.h"
#include "common/map_walk.h"
#include "kelmar.h"
#include "rgb/rgb_tables.h"

namespace kelmar {

// What one RGB conversion follows: the call's code paths and the tables of
// its display setting.
struct RgbCall {
  ConvertPlan plan;
  const RgbTables* tables;
};

// One RGB conversion as its row converters see it, made once per call.
struct RgbJob {
  const PlaneSet* planes;
  const RgbTables* tables;
  MacroblockMap map;       // the macroblocks of the source picture
  uint8_t* dst;            // the first output row
  ptrdiff_t rowBytes;      // one output row at normal size
  ptrdiff_t mbRowAdvance;  // 16 output rows, or 32 rows twice as wide at double size
  bool zoom;
};

inline RgbJob MakeRgbJob(const OutputGeometry& geometry, void* dst, const PlaneSet* planes,
                         const uint8_t* mbMap, const RgbCall& call) {
  RgbJob job;
  job.planes = planes;
  job.tables = call.tables;
  job.map = {mbMap, geometry.width >> 4, geometry.height >> 4};
  job.dst = static_cast<uint8_t*>(dst);
  job.zoom = geometry.zoom;
  job.rowBytes = geometry.zoom ? geometry.rowStep / 2 : geometry.rowStep;
  job.mbRowAdvance =
      static_cast<ptrdiff_t>(int64_t{16} * geometry.rowStep * (geometry.zoom ? 2 : 1));
  return job;
}

// Converts the marked macroblocks `runs` of macroblock row `mbRow`, whose
// output starts at `rowOut`.
using RowConverter = void (*)(const RgbJob& job, ptrdiff_t mbRow, uint8_t* rowOut,
                              const MarkedRuns& runs);

// Converts the marked macroblocks of the whole picture: what the kernel
// table chooses for a call.
using PictureConverter = void (*)(const RgbJob& job);

// The integer, MMX and double-size paths: the macroblock rows with a marked
// macroblock, top to bottom, each with `kConvertRow`.
template <RowConverter kConvertRow>
void ConvertPictureByRows(const RgbJob& job) {
  ForEachMarkedRow(job.map, [&](ptrdiff_t mbRow, const MarkedRuns& runs) {
    kConvertRow(job, mbRow, StepBytes(job.dst, mbRow * job.mbRowAdvance), runs);
  });
}

// A layout's own paths; the kernel table chooses between them and the
// vector kernels.  `mmx` is null for a layout without an MMX path.
struct RgbLayoutKernels {
  PictureConverter integer;
  PictureConverter mmx;
  PictureConverter doubleSize;
};

// Calls `convertMacroblock(c, out)` for every marked macroblock of a
// macroblock row, left to right; `out` is where its output starts.
template <typename ConvertMacroblock>
inline void ForEachMarkedMacroblock(const RgbJob& job, uint8_t* rowOut, const MarkedRuns& runs,
                                    int bytesPerPixel, ConvertMacroblock convertMacroblock) {
  const ptrdiff_t macroblockBytes = (job.zoom ? 32 : 16) * bytesPerPixel;
  runs.ForEachMacroblock([&](ptrdiff_t c) { convertMacroblock(c, rowOut + macroblockBytes * c); });
}

// The three chroma terms of one 2 x 2 block of pixels.
struct PixelTerms {
  int32_t blue;
  int32_t green;
  int32_t red;
};

inline PixelTerms LookupTerms(const AdjustTables& tables, uint8_t u, uint8_t v) {
  const ChromaTerms& uTerms = tables.UTable()[u];
  const ChromaTerms& vTerms = tables.VTable()[v];
  return {uTerms.other, uTerms.green + vTerms.green, vTerms.other};
}

// Normal size, rows found by stepping: two output rows of one macroblock
// from its row pair `src`.
using RowPairConverter = void (*)(const AdjustTables& tables, const RowPair& pair);

// The eight row pairs of one macroblock, found by stepping from the
// macroblock row's first table entries by the stride of entries 0 and 1.
template <RowPairConverter kConvertPair>
inline void ConvertSteppedMacroblock(const AdjustTables& tables, const RowPair& first,
                                     ptrdiff_t lumaStride, ptrdiff_t rowBytes, uint8_t* out) {
  const ptrdiff_t chromaStride = ChromaStrideFromLuma(lumaStride);
  RowPair src = first;
  for (int j = 0; j < 8; ++j) {
    src.y1 = StepBytes(src.y0, lumaStride);
    src.out0 = out;
    src.out1 = out + rowBytes;
    kConvertPair(tables, src);
    src.y0 = StepBytes(src.y0, 2 * lumaStride);
    src.u = StepBytes(src.u, chromaStride);
    src.v = StepBytes(src.v, chromaStride);
    out = StepBytes(out, 2 * rowBytes);
  }
}

// Calls `convertMacroblock(first, lumaStride, out)` for every marked
// macroblock of row `mbRow`, whose rows are found by stepping: `first` holds
// its first luma row and chroma rows.  The stride is read once per
// macroblock row.
template <typename ConvertMacroblock>
inline void ForEachSteppedMacroblock(const RgbJob& job, ptrdiff_t mbRow, uint8_t* rowOut,
                                     const MarkedRuns& runs, int bytesPerPixel,
                                     ConvertMacroblock convertMacroblock) {
  const PlaneSet* planes = job.planes;
  const ptrdiff_t lumaStride = LumaStride(planes);
  const uint8_t* const yRow = planes->yRows[16 * mbRow];
  const uint8_t* const uRow = planes->uRows[8 * mbRow];
  const uint8_t* const vRow = planes->vRows[8 * mbRow];
  ForEachMarkedMacroblock(job, rowOut, runs, bytesPerPixel, [&](ptrdiff_t c, uint8_t* out) {
    const RowPair first = {yRow + 16 * c, nullptr, uRow + 8 * c, vRow + 8 * c, nullptr, nullptr};
    convertMacroblock(first, lumaStride, out);
  });
}

// The row converter of the normal-size stepped layouts (24-bit, 5-5-5).
template <int kBytesPerPixel, RowPairConverter kConvertPair>
KELMAR_OUT_OF_LINE void ConvertSteppedRow(const RgbJob& job, ptrdiff_t mbRow, uint8_t* rowOut,
                                          const MarkedRuns& runs) {
  ForEachSteppedMacroblock(job, mbRow, rowOut, runs, kBytesPerPixel,
                           [&](const RowPair& first, ptrdiff_t lumaStride, uint8_t* out) {
                             ConvertSteppedMacroblock<kConvertPair>(job.tables->adjust, first,
                                                                    lumaStride, job.rowBytes, out);
                           });
}

// The rows of row pair `j` of macroblock (`mbRow`, `column`), each from its
// own table entry.
inline RowPair RowPairFromTables(const PlaneSet* planes, ptrdiff_t mbRow, ptrdiff_t column, int j) {
  const ptrdiff_t lumaRow = 16 * mbRow + 2 * j;
  const ptrdiff_t chromaRow = 8 * mbRow + j;
  return {planes->yRows[lumaRow] + 16 * column,
          planes->yRows[lumaRow + 1] + 16 * column,
          planes->uRows[chromaRow] + 8 * column,
          planes->vRows[chromaRow] + 8 * column,
          nullptr,
          nullptr};
}

// Double size: each source pixel of macroblock (`mbRow`, `column`), every
// row from its own table entry, written twice side by side by
// Layout::PutPair(lumaTable, out, y, terms), luma row 2j to output row 4j
// and luma row 2j + 1 to output row 4j + 2; the odd output rows are left as
// they are.
template <typename Layout>
inline void ConvertMacroblockDoubled(const AdjustTables& tables, const PlaneSet* planes,
                                     ptrdiff_t mbRow, ptrdiff_t column, ptrdiff_t rowBytes,
                                     uint8_t* out) {
  constexpr ptrdiff_t kPairBytes = 2 * Layout::kBytesPerPixel;
  const uint8_t* luma = tables.LumaTable();
  const ptrdiff_t outStride = 2 * rowBytes;
  for (int j = 0; j < 8; ++j) {
    const RowPair src = RowPairFromTables(planes, mbRow, column, j);
    uint8_t* out0 = out + 4 * j * outStride;
    uint8_t* out1 = out0 + 2 * outStride;
    for (int i = 0; i < 8; ++i) {
      const PixelTerms t = LookupTerms(tables, src.u[i], src.v[i]);
      for (int x = 2 * i; x < 2 * i + 2; ++x) {
        Layout::PutPair(luma, out0 + kPairBytes * x, src.y0[x], t);
        Layout::PutPair(luma, out1 + kPairBytes * x, src.y1[x], t);
      }
    }
  }
}

// The double-size row converter of every RGB layout but 8-bit.
template <typename Layout>
KELMAR_OUT_OF_LINE void ConvertDoubledRow(const RgbJob& job, ptrdiff_t mbRow, uint8_t* rowOut,
                                          const MarkedRuns& runs) {
  ForEachMarkedMacroblock(job, rowOut, runs, Layout::kBytesPerPixel,
                          [&](ptrdiff_t c, uint8_t* out) {
                            ConvertMacroblockDoubled<Layout>(job.tables->adjust, job.planes, mbRow,
                                                             c, job.rowBytes, out);
                          });
}

}  // namespace kelmar
