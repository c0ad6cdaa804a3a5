// 16-bit 5-6-5 output: five bits of red, six of green, five of blue.  The
// colour masks behind the caller's header are not consulted: the layout is
// always this one.
#include "common/staging.h"
#include "rgb/converters.h"
#include "rgb/rgb16.h"

namespace kelmar {
namespace {

using Facts = Rgb565Facts;
constexpr LumaOffsets kOffsets = Facts::kOffsets;

struct Rgb565Layout {
  static uint16_t Pack(const ColourBytes& c) {
    return static_cast<uint16_t>((c.red >> 3) << 11 | (c.green >> 2) << 5 | c.blue >> 3);
  }
};

// Normal size: every row from its own table entry, pixels written straight
// to the output.  One integer path on every processor.
void ConvertMacroblock(const AdjustTables& tables, const PlaneSet* planes, ptrdiff_t mbRow,
                       ptrdiff_t column, ptrdiff_t rowBytes, uint8_t* out) {
  const uint8_t* luma = tables.LumaTable();
  const int32_t rb = kOffsets.redBlue;
  for (int j = 0; j < 8; ++j) {
    StagedRowPair in;
    StageInputWords(in, RowPairFromTables(planes, mbRow, column, j));
    uint8_t* out1 = out + rowBytes;
    for (int i = 0; i < 8; ++i) {
      const PixelTerms t = LookupTerms(tables, in.u[i], in.v[i]);
      StoreWord(out + 4 * i,
                MakePixel<Rgb565Layout>(luma, in.y0[2 * i], t, rb, kOffsets.greenEven));
      StoreWord(out + 4 * i + 2,
                MakePixel<Rgb565Layout>(luma, in.y0[2 * i + 1], t, rb, kOffsets.greenOdd));
      StoreWord(out1 + 4 * i,
                MakePixel<Rgb565Layout>(luma, in.y1[2 * i], t, rb, kOffsets.greenOdd));
      StoreWord(out1 + 4 * i + 2,
                MakePixel<Rgb565Layout>(luma, in.y1[2 * i + 1], t, rb, kOffsets.greenEven));
    }
    out = StepBytes(out, 2 * rowBytes);
  }
}

KELMAR_OUT_OF_LINE void ConvertRgb565Row(const RgbJob& job, ptrdiff_t mbRow, uint8_t* rowOut,
                                         const MarkedRuns& runs) {
  ForEachMarkedMacroblock(job, rowOut, runs, Facts::kBytesPerPixel, [&](ptrdiff_t c, uint8_t* out) {
    ConvertMacroblock(job.tables->adjust, job.planes, mbRow, c, job.rowBytes, out);
  });
}

}  // namespace

// Pixels go straight to the output: no MMX path.
const RgbLayoutKernels kRgb565Kernels = {
    ConvertPictureByRows<ConvertRgb565Row>, nullptr,
    ConvertPictureByRows<ConvertDoubledRow<Doubled16<Rgb565Layout>>>};

}  // namespace kelmar
