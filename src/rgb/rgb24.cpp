// 24-bit output: three bytes per pixel, blue, green, red.
#include "exports/state.h"
#include "rgb/convert_state.h"
#include "rgb/converters.h"
#include "rgb/staging.h"
#include "rgb/wide_rgb.h"

namespace kelmar {
namespace {

ConvertState Rgb24State;

constexpr int kMacroblockBytes = 16 * 3;

inline void PutPixel(uint8_t* out, int y, const PixelTerms& t) {
  out[0] = LumaTable[y + t.blue];
  out[1] = LumaTable[y + t.green];
  out[2] = LumaTable[y + t.red];
}

// Two output rows of one macroblock, from staged samples.
void ConvertStagedRowPair(const RowPairInput& in, uint8_t (&out)[2][kMacroblockBytes]) {
  for (int i = 0; i < 8; ++i) {
    const PixelTerms t = LookupTerms(in.u[i], in.v[i]);
    PutPixel(&out[0][6 * i], in.y0[2 * i], t);
    PutPixel(&out[0][6 * i + 3], in.y0[2 * i + 1], t);
    PutPixel(&out[1][6 * i], in.y1[2 * i], t);
    PutPixel(&out[1][6 * i + 3], in.y1[2 * i + 1], t);
  }
}

void ConvertRowPairInteger(const RowPairSource& src, uint8_t* out0, uint8_t* out1) {
  RowPairInput in;
  uint8_t staged[2][kMacroblockBytes];
  StageInputWords(in, src);
  ConvertStagedRowPair(in, staged);
  CopyWords<kMacroblockBytes>(out0, staged[0]);
  CopyWords<kMacroblockBytes>(out1, staged[1]);
}

#if KELMAR_HAVE_MMX
KELMAR_TARGET_MMX void ConvertRowPairMmx(const RowPairSource& src, uint8_t* out0, uint8_t* out1) {
  RowPairInput in;
  uint8_t staged[2][kMacroblockBytes];
  StageInputMmx(in, src);
  ConvertStagedRowPair(in, staged);
  CopyMmx<kMacroblockBytes>(out0, staged[0]);
  CopyMmx<kMacroblockBytes>(out1, staged[1]);
  _mm_empty();
}
#endif

#if KELMAR_HAVE_MMX
constexpr RowPairConverter kRowPairMmx = ConvertRowPairMmx;
#else
constexpr RowPairConverter kRowPairMmx = nullptr;
#endif

// Double size: every row's own table entry; each source pixel written twice
// side by side on even output rows; odd output rows are left alone.
void ConvertMacroblockDouble(const PlaneSet* planes, int32_t mbRow, int32_t column,
                             int64_t rowBytes, uint8_t* out) {
  const int64_t outStride = 2 * rowBytes;
  for (int j = 0; j < 8; ++j) {
    const uint8_t* y0 = planes->yRows[16 * mbRow + 2 * j] + 16 * column;
    const uint8_t* y1 = planes->yRows[16 * mbRow + 2 * j + 1] + 16 * column;
    const uint8_t* u = planes->uRows[8 * mbRow + j] + 8 * column;
    const uint8_t* v = planes->vRows[8 * mbRow + j] + 8 * column;
    uint8_t* out0 = out + 4 * j * outStride;
    uint8_t* out1 = out0 + 2 * outStride;
    for (int i = 0; i < 8; ++i) {
      const PixelTerms t = LookupTerms(u[i], v[i]);
      for (int k = 0; k < 2; ++k) {
        const int x = 2 * i + k;
        PutPixel(out0 + 6 * x, y0[x], t);
        PutPixel(out0 + 6 * x + 3, y0[x], t);
        PutPixel(out1 + 6 * x, y1[x], t);
        PutPixel(out1 + 6 * x + 3, y1[x], t);
      }
    }
  }
}

}  // namespace

void ConvertRgb24Row(int32_t mbRow, const PlaneSet* planes, const uint8_t* mbMap, int32_t zoom) {
  ConvertState& state = Rgb24State;
  if (state.mbCols < 1) return;
  if (!zoom && ConvertRowWide(WideLayout::kRgb24, mbRow, planes, mbMap, state, RowSource::kStepped))
    return;
  const intptr_t lumaStride = LumaStride(planes);
  ForEachMarkedMacroblock(state, 3, mbMap, zoom, [&](int32_t c, uint8_t* out) {
    if (zoom) {
      ConvertMacroblockDouble(planes, mbRow, c, state.rowBytes, out);
    } else {
      const RowPairSource first = {planes->yRows[16 * mbRow] + 16 * c, nullptr,
                                   planes->uRows[8 * mbRow] + 8 * c,
                                   planes->vRows[8 * mbRow] + 8 * c};
      ConvertSteppedMacroblock(first, lumaStride, state.rowBytes, out, ConvertRowPairInteger,
                               kRowPairMmx);
    }
  });
}

void ConvertRgb24(const BITMAPINFOHEADER* header, void* dst, const PlaneSet* planes,
                  const uint8_t* mbMap, int32_t /*reserved*/, int32_t zoom) {
  DriveConverter(Rgb24State, ConvertRgb24Row, 3, header, dst, planes, mbMap, zoom);
}

}  // namespace kelmar
