// 16-bit 5-6-5 output: five bits of red, six of green, five of blue.  The
// colour masks behind the caller's header are not consulted: the layout is
// always this one.
#include "rgb/converters.h"
#include "rgb/rgb16.h"
#include "rgb/wide_rgb.h"

namespace kelmar {
namespace {

struct Rgb565Layout {
  static uint16_t Pack(const ColourBytes& c) {
    return static_cast<uint16_t>((c.red >> 3) << 11 | (c.green >> 2) << 5 | c.blue >> 3);
  }
};

// Red and blue round as in 5-5-5; green, one bit finer, gets half the 5-5-5
// green offsets.
constexpr LumaOffsets kOffsets = {4, 3, 1};

// Normal size: every row from its own table entry, pixels written straight
// to the output.  One integer path on every processor.
void ConvertMacroblock(const PlaneSet* planes, int32_t mbRow, int32_t column, int64_t rowBytes,
                       uint8_t* out) {
  const int32_t rb = kOffsets.redBlue;
  for (int j = 0; j < 8; ++j) {
    RowPairInput in;
    StageInputWords(in, RowPairFromTables(planes, mbRow, column, j));
    uint8_t* out1 = out + rowBytes;
    for (int i = 0; i < 8; ++i) {
      const PixelTerms t = LookupTerms(in.u[i], in.v[i]);
      StoreWord(out + 4 * i, MakePixel<Rgb565Layout>(in.y0[2 * i], t, rb, kOffsets.greenEven));
      StoreWord(out + 4 * i + 2,
                MakePixel<Rgb565Layout>(in.y0[2 * i + 1], t, rb, kOffsets.greenOdd));
      StoreWord(out1 + 4 * i, MakePixel<Rgb565Layout>(in.y1[2 * i], t, rb, kOffsets.greenOdd));
      StoreWord(out1 + 4 * i + 2,
                MakePixel<Rgb565Layout>(in.y1[2 * i + 1], t, rb, kOffsets.greenEven));
    }
    out = StepBytes(out, 2 * rowBytes);
  }
}

}  // namespace

void ConvertRgb565Row(int32_t mbRow, const PlaneSet* planes, const uint8_t* mbMap, int32_t zoom) {
  if (!zoom &&
      ConvertRowWide(WideLayout::kRgb565, mbRow, planes, mbMap, Rgb16State, RowSource::kEveryEntry))
    return;
  const int64_t rowBytes = Rgb16State.rowBytes;
  ForEachMarkedMacroblock(
      Rgb16State, kRgb16BytesPerPixel, mbMap, zoom, [&](int32_t c, uint8_t* out) {
        if (zoom)
          ConvertMacroblockDouble16<Rgb565Layout>(planes, mbRow, c, rowBytes, out);
        else
          ConvertMacroblock(planes, mbRow, c, rowBytes, out);
      });
}

void ConvertRgb565(const BITMAPINFOHEADER* header, void* dst, const PlaneSet* planes,
                   const uint8_t* mbMap, int32_t /*reserved*/, int32_t zoom) {
  DriveConverter(Rgb16State, ConvertRgb565Row, kRgb16BytesPerPixel, header, dst, planes, mbMap,
                 zoom);
}

}  // namespace kelmar
