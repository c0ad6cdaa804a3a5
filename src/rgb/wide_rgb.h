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

// The vector kernels the kernel table (exports/kernel_table.cpp) chooses
// from, one set per instruction set: a kernel for the luma form of the
// tables (or null where the layout has none), for the dither, for the
// lookups in windows of LumaTable (AVX-512, Advanced SIMD), for the luma
// by its halves (the instruction sets that shuffle bytes) and for double
// size (null for tables it has no kernel for).
#if KELMAR_HAVE_WIDE
PictureConverter RgbFormKernelSse2(RgbLayout layout, const RgbClosedForms& forms);
PictureConverter RgbFormKernelSsse3(RgbLayout layout, const RgbClosedForms& forms);
PictureConverter RgbHalvesKernelSsse3(RgbLayout layout);
PictureConverter RgbDoubledKernelSse2(RgbLayout layout, const RgbClosedForms& forms);
PictureConverter RgbDoubledKernelSsse3(RgbLayout layout, const RgbClosedForms& forms);
PictureConverter RgbDoubledKernelAvx2(RgbLayout layout, const RgbClosedForms& forms);
PictureConverter RgbDoubledKernelAvx512(RgbLayout layout, const RgbClosedForms& forms);
PictureConverter RgbDoubledWindowKernelAvx512(RgbLayout layout, const RgbClosedForms& forms);
PictureConverter RgbFormKernelAvx2(RgbLayout layout, const RgbClosedForms& forms);
PictureConverter RgbHalvesKernelAvx2(RgbLayout layout);
PictureConverter RgbFormKernelAvx512(RgbLayout layout, const RgbClosedForms& forms);
PictureConverter RgbWindowKernelAvx512(RgbLayout layout, const RgbClosedForms& forms);
PictureConverter Pal8KernelSse2(bool doubleSize);
PictureConverter Pal8KernelSsse3(bool doubleSize);
PictureConverter Pal8KernelAvx2(bool doubleSize);
#endif
#if KELMAR_HAVE_NEON
PictureConverter RgbFormKernelNeon(RgbLayout layout, const RgbClosedForms& forms);
PictureConverter RgbWindowKernelNeon(RgbLayout layout, const RgbClosedForms& forms);
PictureConverter RgbHalvesKernelNeon(RgbLayout layout);
PictureConverter RgbDoubledKernelNeon(RgbLayout layout, const RgbClosedForms& forms);
PictureConverter RgbDoubledWindowKernelNeon(RgbLayout layout, const RgbClosedForms& forms);
PictureConverter Pal8KernelNeon(bool doubleSize);
#endif

}  // namespace kelmar
