// 16-bit 5-5-5 output: bit 15 clear, then five bits each of red, green, blue.
#include "common/features.h"
#include "common/staging.h"
#include "rgb/converters.h"
#include "rgb/rgb16.h"

namespace kelmar {
namespace {

using Facts = Rgb555Facts;
constexpr LumaOffsets kOffsets = Facts::kOffsets;

struct Rgb555Layout {
  static uint16_t Pack(const ColourBytes& c) {
    return static_cast<uint16_t>((c.red >> 3) << 10 | (c.green >> 3) << 5 | c.blue >> 3);
  }
};

// Finished pixels of one row pair, widened to 32 bits for the MMX narrowing:
// entries 0-15 the even row, 16-31 the odd row.
using StagedPixels = int32_t[32];

void ConvertStagedRowPair(const AdjustTables& tables, const StagedRowPair& in, StagedPixels& out) {
  const uint8_t* luma = tables.LumaTable();
  const int32_t rb = kOffsets.redBlue;
  for (int i = 0; i < 8; ++i) {
    const PixelTerms t = LookupTerms(tables, in.u[i], in.v[i]);
    out[2 * i] = MakePixel<Rgb555Layout>(luma, in.y0[2 * i], t, rb, kOffsets.greenEven);
    out[2 * i + 1] = MakePixel<Rgb555Layout>(luma, in.y0[2 * i + 1], t, rb, kOffsets.greenOdd);
    out[16 + 2 * i] = MakePixel<Rgb555Layout>(luma, in.y1[2 * i], t, rb, kOffsets.greenOdd);
    out[17 + 2 * i] = MakePixel<Rgb555Layout>(luma, in.y1[2 * i + 1], t, rb, kOffsets.greenEven);
  }
}

void StoreRowWords(uint8_t* out, const int32_t* staged) {
  for (int k = 0; k < 16; ++k) StoreWord(out + 2 * k, static_cast<uint16_t>(staged[k]));
}

void ConvertRowPairInteger(const AdjustTables& tables, const RowPair& src) {
  StagedRowPair in;
  StagedPixels staged;
  StageInputWords(in, src);
  ConvertStagedRowPair(tables, in, staged);
  StoreRowWords(src.out0, staged);
  StoreRowWords(src.out1, staged + 16);
}

#if KELMAR_HAVE_MMX
// Four staged values at a time narrowed to words with signed saturation;
// every value is at most 0x7FFF, so the saturation never changes one.
KELMAR_TARGET_MMX inline void StoreRowWordsMmx(uint8_t* out, const int32_t* staged) {
  const uint8_t* from = reinterpret_cast<const uint8_t*>(staged);
  for (int k = 0; k < 16; k += 4) {
    const __m64 low = LoadMmx(from + 4 * k);
    const __m64 high = LoadMmx(from + 4 * k + 8);
    StoreMmx(out + 2 * k, _mm_packs_pi32(low, high));
  }
}

KELMAR_TARGET_MMX void ConvertRowPairMmx(const AdjustTables& tables, const RowPair& src) {
  StagedRowPair in;
  StagedPixels staged;
  StageInputMmx(in, src);
  ConvertStagedRowPair(tables, in, staged);
  StoreRowWordsMmx(src.out0, staged);
  StoreRowWordsMmx(src.out1, staged + 16);
  _mm_empty();
}
#endif

}  // namespace

const RgbLayoutKernels kRgb555Kernels = {
    ConvertPictureByRows<ConvertSteppedRow<Facts::kBytesPerPixel, ConvertRowPairInteger>>,
#if KELMAR_HAVE_MMX
    ConvertPictureByRows<ConvertSteppedRow<Facts::kBytesPerPixel, ConvertRowPairMmx>>,
#else
    nullptr,
#endif
    ConvertPictureByRows<ConvertDoubledRow<Doubled16<Rgb555Layout>>>};

}  // namespace kelmar
