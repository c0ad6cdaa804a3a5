// 24-bit output: three bytes per pixel, blue, green, red.
#include "common/features.h"
#include "common/layout_facts.h"
#include "common/staging.h"
#include "rgb/convert_state.h"
#include "rgb/converters.h"

namespace kelmar {
namespace {

using Facts = Rgb24Facts;
constexpr int kMacroblockBytes = 16 * Facts::kBytesPerPixel;

inline void PutPixel(const uint8_t* lumaTable, uint8_t* out, int y, const PixelTerms& t) {
  out[0] = lumaTable[y + t.blue];
  out[1] = lumaTable[y + t.green];
  out[2] = lumaTable[y + t.red];
}

// Two output rows of one macroblock, from staged samples.
void ConvertStagedRowPair(const AdjustTables& tables, const StagedRowPair& in,
                          uint8_t (&out)[2][kMacroblockBytes]) {
  const uint8_t* luma = tables.LumaTable();
  for (int i = 0; i < 8; ++i) {
    const PixelTerms t = LookupTerms(tables, in.u[i], in.v[i]);
    PutPixel(luma, &out[0][6 * i], in.y0[2 * i], t);
    PutPixel(luma, &out[0][6 * i + 3], in.y0[2 * i + 1], t);
    PutPixel(luma, &out[1][6 * i], in.y1[2 * i], t);
    PutPixel(luma, &out[1][6 * i + 3], in.y1[2 * i + 1], t);
  }
}

void ConvertRowPairInteger(const AdjustTables& tables, const RowPair& src) {
  StagedRowPair in;
  uint8_t staged[2][kMacroblockBytes];
  StageInputWords(in, src);
  ConvertStagedRowPair(tables, in, staged);
  CopyWords<kMacroblockBytes>(src.out0, staged[0]);
  CopyWords<kMacroblockBytes>(src.out1, staged[1]);
}

#if KELMAR_HAVE_MMX
KELMAR_TARGET_MMX void ConvertRowPairMmx(const AdjustTables& tables, const RowPair& src) {
  StagedRowPair in;
  uint8_t staged[2][kMacroblockBytes];
  StageInputMmx(in, src);
  ConvertStagedRowPair(tables, in, staged);
  CopyMmx<kMacroblockBytes>(src.out0, staged[0]);
  CopyMmx<kMacroblockBytes>(src.out1, staged[1]);
  _mm_empty();
}
#endif

// Double size: each source pixel written twice side by side.
struct Doubled {
  static constexpr int kBytesPerPixel = Facts::kBytesPerPixel;
  static void PutPair(const uint8_t* lumaTable, uint8_t* out, int y, const PixelTerms& t) {
    PutPixel(lumaTable, out, y, t);
    PutPixel(lumaTable, out + kBytesPerPixel, y, t);
  }
};

}  // namespace

const RgbLayoutKernels kRgb24Kernels = {
    ConvertPictureByRows<ConvertSteppedRow<Facts::kBytesPerPixel, ConvertRowPairInteger>>,
#if KELMAR_HAVE_MMX
    ConvertPictureByRows<ConvertSteppedRow<Facts::kBytesPerPixel, ConvertRowPairMmx>>,
#else
    nullptr,
#endif
    ConvertPictureByRows<ConvertDoubledRow<Doubled>>};

}  // namespace kelmar
