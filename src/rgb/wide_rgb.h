// Vector paths of the RGB converters (SSE2, AVX2, AVX-512).
//
// They compute UTable and VTable from their closed forms
// (rgb/closed_forms.h) in 16-bit lanes, and LumaTable either from its closed
// form too or (AVX-512) by byte lookups in windows of the table itself,
// whichever costs less, and write exactly the bytes of the table-driven
// integer paths.  A macroblock row is
// converted one run of consecutive marked macroblocks at a time, each row pair across the whole
// run.
#pragma once

#include <cstdint>

#include "common/features.h"
#include "common/layout_facts.h"
#include "rgb/convert_state.h"

namespace kelmar {

// One macroblock row at normal size: its 16 luma rows and 8 chroma rows from
// column 0, where its output starts, and its marked macroblocks.
struct WideMacroblockRow {
  const uint8_t* y[16];
  const uint8_t* u[8];
  const uint8_t* v[8];
  uint8_t* out;
  ptrdiff_t rowBytes;
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

enum class WideLayout { kRgb24, kRgb555, kRgb565 };

// The vector row converter for `layout` that `call` allows, or nullptr when
// its plan has no vector extension or its tables have no closed form.
RowConverter ChooseWideRow(WideLayout layout, const RgbCall& call);

// The same for 8-bit output, when the dither tables have their vector forms.
RowConverter ChooseWidePal8Row(const RgbCall& call);

// The kernels, one per layout and instruction set.
#if KELMAR_HAVE_WIDE
void ConvertRgb24RowSse2(const RgbClosedForms& forms, const WideMacroblockRow& row);
void ConvertRgb24RowAvx2(const RgbClosedForms& forms, const WideMacroblockRow& row);
void ConvertRgb555RowSse2(const RgbClosedForms& forms, const WideMacroblockRow& row);
void ConvertRgb555RowAvx2(const RgbClosedForms& forms, const WideMacroblockRow& row);
void ConvertRgb565RowSse2(const RgbClosedForms& forms, const WideMacroblockRow& row);
void ConvertRgb565RowAvx2(const RgbClosedForms& forms, const WideMacroblockRow& row);
void ConvertRgb24RowAvx512(const RgbClosedForms& forms, const WideMacroblockRow& row);
void ConvertRgb555RowAvx512(const RgbClosedForms& forms, const WideMacroblockRow& row);
void ConvertRgb565RowAvx512(const RgbClosedForms& forms, const WideMacroblockRow& row);
void ConvertRgb24WindowRowAvx512(const RgbClosedForms& forms, const WideMacroblockRow& row);
void ConvertRgb555WindowRowAvx512(const RgbClosedForms& forms, const WideMacroblockRow& row);
void ConvertRgb565WindowRowAvx512(const RgbClosedForms& forms, const WideMacroblockRow& row);
void ConvertPal8RowSse2(const DitherPatterns& patterns, const WideMacroblockRow& row);
void ConvertPal8RowAvx2(const DitherPatterns& patterns, const WideMacroblockRow& row);
#endif

}  // namespace kelmar
