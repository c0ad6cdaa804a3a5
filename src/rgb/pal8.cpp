// 8-bit output: one palette index per pixel, chosen with a 4 x 4 ordered
// dither from the raw samples.  The colours, and with them the display
// adjustments, live in the palette; this converter reads only the dither
// offsets and the quantiser tables.
#include "common/features.h"
#include "common/layout_facts.h"
#include "common/staging.h"
#include "rgb/convert_state.h"
#include "rgb/converters.h"
#include "tables/dither_palette.h"

namespace kelmar {
namespace {

using Facts = Pal8Facts;
constexpr int kMacroblockBytes = 16;

using StagedRows = uint8_t[2][kMacroblockBytes];

// Palette indices of one row pair of a macroblock.  `matrixRow` is the dither
// matrix row of the pair's first row (0 or 2); macroblocks start at multiples
// of 16, so the position within the macroblock gives the matrix position.
// The three quantised parts occupy separate bits; their byte sum is the index.
void DitherRowPair(const DitherTables& tables, const RowPair& src, int matrixRow, StagedRows& out) {
  for (int r = 0; r < 2; ++r) {
    const uint8_t* luma = r ? src.y1 : src.y0;
    const int32_t* bayer = &BayerMatrix[4 * (matrixRow + r)];
    const int32_t* dither = &tables.DitherMatrix[4 * (matrixRow + r)];
    for (int i = 0; i < 8; ++i) {
      const uint8_t u = src.u[i];
      const uint8_t v = src.v[i];
      for (int k = 0; k < 2; ++k) {
        const int x = 2 * i + k;
        const int q = x & 3;
        out[r][x] = static_cast<uint8_t>(tables.YQuantTable[luma[x] + bayer[q]] +
                                         tables.UQuantTable[u + dither[q]] +
                                         tables.VQuantTable[v + dither[q]]);
      }
    }
  }
}

// How a staged row pair reaches the output: rows `rowBytes` apart.
using RowPairWriter = void (*)(const StagedRows& staged, uint8_t* out, ptrdiff_t rowBytes);

void WriteRowPairInteger(const StagedRows& staged, uint8_t* out, ptrdiff_t rowBytes) {
  CopyWords<kMacroblockBytes>(out, staged[0]);
  CopyWords<kMacroblockBytes>(out + rowBytes, staged[1]);
}

#if KELMAR_HAVE_MMX
KELMAR_TARGET_MMX void WriteRowPairMmx(const StagedRows& staged, uint8_t* out, ptrdiff_t rowBytes) {
  CopyMmx<kMacroblockBytes>(out, staged[0]);
  CopyMmx<kMacroblockBytes>(out + rowBytes, staged[1]);
  _mm_empty();
}
#endif

// Double size: each index twice side by side, on the even output rows only;
// output rows are twice `rowBytes` apart, and the pair's second source row
// goes two of them further on.
void WriteRowPairDouble(const StagedRows& staged, uint8_t* out, ptrdiff_t rowBytes) {
  uint8_t* out1 = out + 4 * rowBytes;
  for (int k = 0; k < kMacroblockBytes; ++k) {
    out[2 * k] = out[2 * k + 1] = staged[0][k];
    out1[2 * k] = out1[2 * k + 1] = staged[1][k];
  }
}

// Source rows are found by stepping from the macroblock row's first table
// entries at both sizes.  The output of the next row pair starts
// kPairAdvance x rowBytes further on: two rows at normal size, four rows
// twice as wide at double size.
template <RowPairWriter kWrite, int kPairAdvance>
void ConvertMacroblock(const DitherTables& tables, const RowPair& first, ptrdiff_t lumaStride,
                       ptrdiff_t rowBytes, uint8_t* out) {
  const ptrdiff_t chromaStride = ChromaStrideFromLuma(lumaStride);
  RowPair src = first;
  for (int j = 0; j < 8; ++j) {
    src.y1 = StepBytes(src.y0, lumaStride);
    StagedRows staged;
    DitherRowPair(tables, src, 2 * (j & 1), staged);
    kWrite(staged, out, rowBytes);
    out = StepBytes(out, kPairAdvance * rowBytes);
    src.y0 = StepBytes(src.y0, 2 * lumaStride);
    src.u = StepBytes(src.u, chromaStride);
    src.v = StepBytes(src.v, chromaStride);
  }
}

template <RowPairWriter kWrite, int kPairAdvance>
void ConvertPal8Row(const RgbJob& job, ptrdiff_t mbRow, uint8_t* rowOut, const MarkedRuns& runs) {
  ForEachSteppedMacroblock(job, mbRow, rowOut, runs, Facts::kBytesPerPixel,
                           [&](const RowPair& first, ptrdiff_t lumaStride, uint8_t* out) {
                             ConvertMacroblock<kWrite, kPairAdvance>(job.tables->dither, first,
                                                                     lumaStride, job.rowBytes, out);
                           });
}

}  // namespace

const RgbLayoutKernels kPal8Kernels = {ConvertPictureByRows<ConvertPal8Row<WriteRowPairInteger, 2>>,
#if KELMAR_HAVE_MMX
                                       ConvertPictureByRows<ConvertPal8Row<WriteRowPairMmx, 2>>,
#else
                                       nullptr,
#endif
                                       ConvertPictureByRows<ConvertPal8Row<WriteRowPairDouble, 8>>};

}  // namespace kelmar
