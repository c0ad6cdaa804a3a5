// 8-bit output: one palette index per pixel, chosen with a 4 x 4 ordered
// dither from the raw samples.  The colours, and with them the display
// adjustments, live in the palette; this converter reads only the dither
// offsets and the quantiser tables.
#include "exports/state.h"
#include "rgb/convert_state.h"
#include "rgb/converters.h"
#include "rgb/staging.h"
#include "rgb/wide_rgb.h"
#include "tables/dither_palette.h"

namespace kelmar {
namespace {

ConvertState Pal8State;

constexpr int kMacroblockBytes = 16;

using StagedRows = uint8_t[2][kMacroblockBytes];

// Palette indices of one row pair of a macroblock.  `matrixRow` is the dither
// matrix row of the pair's first row (0 or 2); macroblocks start at multiples
// of 16, so the position within the macroblock gives the matrix position.
// The three quantised parts occupy separate bits; their byte sum is the index.
void DitherRowPair(const RowPairSource& src, int matrixRow, StagedRows& out) {
  for (int r = 0; r < 2; ++r) {
    const uint8_t* luma = r ? src.y1 : src.y0;
    const int32_t* bayer = &BayerMatrix[4 * (matrixRow + r)];
    const int32_t* dither = &DitherMatrix[4 * (matrixRow + r)];
    for (int i = 0; i < 8; ++i) {
      const uint8_t u = src.u[i];
      const uint8_t v = src.v[i];
      for (int k = 0; k < 2; ++k) {
        const int x = 2 * i + k;
        const int q = x & 3;
        out[r][x] = static_cast<uint8_t>(YQuantTable[luma[x] + bayer[q]] +
                                         UQuantTable[u + dither[q]] + VQuantTable[v + dither[q]]);
      }
    }
  }
}

void WriteRowPairInteger(const StagedRows& staged, uint8_t* out0, uint8_t* out1) {
  CopyWords<kMacroblockBytes>(out0, staged[0]);
  CopyWords<kMacroblockBytes>(out1, staged[1]);
}

#if KELMAR_HAVE_MMX
KELMAR_TARGET_MMX void WriteRowPairMmx(const StagedRows& staged, uint8_t* out0, uint8_t* out1) {
  CopyMmx<kMacroblockBytes>(out0, staged[0]);
  CopyMmx<kMacroblockBytes>(out1, staged[1]);
  _mm_empty();
}
#endif

// Double size: each index twice side by side, on the even output rows only.
void WriteRowPairDouble(const StagedRows& staged, uint8_t* out0, uint8_t* out1) {
  for (int k = 0; k < kMacroblockBytes; ++k) {
    out0[2 * k] = out0[2 * k + 1] = staged[0][k];
    out1[2 * k] = out1[2 * k + 1] = staged[1][k];
  }
}

// Source rows are found by stepping from the macroblock row's first table
// entries at both sizes.
void ConvertMacroblock(const RowPairSource& first, intptr_t lumaStride, int64_t rowBytes,
                       int32_t zoom, uint8_t* out) {
  const intptr_t chromaStride = ChromaStrideFromLuma(lumaStride);
  const int64_t outStride = zoom ? 2 * rowBytes : rowBytes;
  RowPairSource src = first;
  for (int j = 0; j < 8; ++j) {
    src.y1 = StepBytes(src.y0, lumaStride);
    StagedRows staged;
    DitherRowPair(src, 2 * (j & 1), staged);
    if (zoom) {
      WriteRowPairDouble(staged, out, out + 2 * outStride);
      out = StepBytes(out, 4 * outStride);
    } else {
#if KELMAR_HAVE_MMX
      if (UseMmx)
        WriteRowPairMmx(staged, out, out + outStride);
      else
#endif
        WriteRowPairInteger(staged, out, out + outStride);
      out = StepBytes(out, 2 * outStride);
    }
    src.y0 = StepBytes(src.y0, 2 * lumaStride);
    src.u = StepBytes(src.u, chromaStride);
    src.v = StepBytes(src.v, chromaStride);
  }
}

}  // namespace

void ConvertPal8Row(int32_t mbRow, const PlaneSet* planes, const uint8_t* mbMap, int32_t zoom) {
  ConvertState& state = Pal8State;
  if (state.mbCols < 1) return;
  if (!zoom && ConvertPal8RowWide(mbRow, planes, mbMap, state)) return;
  const intptr_t lumaStride = LumaStride(planes);
  const uint8_t* const yRow = planes->yRows[16 * mbRow];
  const uint8_t* const uRow = planes->uRows[8 * mbRow];
  const uint8_t* const vRow = planes->vRows[8 * mbRow];
  ForEachMarkedMacroblock(state, 1, mbMap, zoom, [&](int32_t c, uint8_t* out) {
    const RowPairSource first = {yRow + 16 * c, nullptr, uRow + 8 * c, vRow + 8 * c};
    ConvertMacroblock(first, lumaStride, state.rowBytes, zoom, out);
  });
}

void ConvertPal8(const BITMAPINFOHEADER* header, void* dst, const PlaneSet* planes,
                 const uint8_t* mbMap, int32_t /*reserved*/, int32_t zoom) {
  DriveConverter(Pal8State, ConvertPal8Row, 1, header, dst, planes, mbMap, zoom);
}

}  // namespace kelmar
