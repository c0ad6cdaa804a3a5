// Vector paths of the RGB converters (SSE2, SSSE3, AVX2, AVX-512; Advanced
// SIMD on aarch64).
//
// They compute UTable and VTable from their closed forms
// (rgb/closed_forms.h) in 16-bit lanes, and LumaTable either from its closed
// form too or (AVX-512) by byte lookups in windows of the table itself,
// whichever costs less, and write exactly the bytes of the table-driven
// integer paths.  A kernel converts the whole picture with constants made
// once, one run of consecutive marked macroblocks at a time, each row pair
// across the whole run.
#pragma once

#include <cstdint>

#include "common/features.h"
#include "common/layout_facts.h"
#include "rgb/convert_state.h"

namespace kelmar {

// One macroblock row: its 16 luma rows and 8 chroma rows from column 0,
// where its output starts, and its marked macroblocks.
struct WideMacroblockRow {
  const uint8_t* y[16];
  const uint8_t* u[8];
  const uint8_t* v[8];
  uint8_t* out;
  // From the output row of a luma row to that of the next: one output row,
  // or at double size two output rows of twice the width.
  ptrdiff_t outRowStep;
  MarkedRuns runs;
};

// Two source rows or two output rows, one for each 128-bit lane of a vector.
struct TwoRows {
  const uint8_t* low;
  const uint8_t* high;
};
struct TwoOutputRows {
  uint8_t* low;
  uint8_t* high;
};

// Four source rows or four output rows, one for each 128-bit lane of a
// 512-bit vector.
struct FourRows {
  const uint8_t* row[4];
};
struct FourOutputRows {
  uint8_t* row[4];
};

// What one instruction set's vector kernels offer the RGB and 8-bit layouts,
// for the kernel table (exports/kernel_table.cpp) to choose from.  Each
// member answers null for a layout or tables it has no kernel for; a member
// is itself null where the set has no kernel of that kind.
struct WideRgbKernels {
  // The luma by its closed form (RgbClosedForms::Usable).
  PictureConverter (*form)(RgbLayout layout, const RgbClosedForms& forms);
  // The luma by its halves (UsableByHalves): sets that shuffle bytes.
  PictureConverter (*halves)(RgbLayout layout);
  // Lookups in the windows of LumaTable: AVX-512, Advanced SIMD.
  PictureConverter (*windows)(RgbLayout layout, const RgbClosedForms& forms);
  // Double size: the unit-slope form and the halves, and one window.
  PictureConverter (*doubled)(RgbLayout layout, const RgbClosedForms& forms);
  PictureConverter (*doubledWindow)(RgbLayout layout, const RgbClosedForms& forms);
  // The 8-bit dither at either size (the dither's forms exact).
  PictureConverter (*dither)(bool doubleSize);
};

#if KELMAR_HAVE_WIDE
extern const WideRgbKernels kSse2RgbKernels;
extern const WideRgbKernels kSsse3RgbKernels;
extern const WideRgbKernels kAvx2RgbKernels;
extern const WideRgbKernels kAvx512RgbKernels;
#endif
#if KELMAR_HAVE_NEON
extern const WideRgbKernels kNeonRgbKernels;
#endif

}  // namespace kelmar
