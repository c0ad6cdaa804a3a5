// Vector paths of the RGB converters on x86-64 (SSE2, AVX2).
//
// They compute LumaTable, UTable and VTable from their closed forms
// (rgb/closed_forms.h) in 16-bit lanes and write exactly the bytes of the
// table-driven integer paths.  A macroblock row is converted one run of
// consecutive marked macroblocks at a time, each row pair across the whole
// run.
#pragma once

#include <cstdint>

#include "exports/state.h"
#include "kelmar.h"
#include "rgb/closed_forms.h"
#include "rgb/convert_state.h"

#if defined(__x86_64__)
#define KELMAR_HAVE_WIDE 1
#endif

namespace kelmar {

// One macroblock row at normal size: its 16 luma rows and 8 chroma rows from
// column 0, where its output starts, and its map bytes.
struct WideMacroblockRow {
  const uint8_t* y[16];
  const uint8_t* u[8];
  const uint8_t* v[8];
  uint8_t* out;
  int64_t rowBytes;
  const uint8_t* map;
  int32_t mbCols;
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

enum class WideLayout { kRgb24, kRgb555, kRgb565 };

using WideRowConverter = void (*)(const RgbClosedForms& forms, const WideMacroblockRow& row);

#if KELMAR_HAVE_WIDE
void ConvertRgb24RowSse2(const RgbClosedForms& forms, const WideMacroblockRow& row);
void ConvertRgb24RowAvx2(const RgbClosedForms& forms, const WideMacroblockRow& row);
void ConvertRgb555RowSse2(const RgbClosedForms& forms, const WideMacroblockRow& row);
void ConvertRgb555RowAvx2(const RgbClosedForms& forms, const WideMacroblockRow& row);
void ConvertRgb565RowSse2(const RgbClosedForms& forms, const WideMacroblockRow& row);
void ConvertRgb565RowAvx2(const RgbClosedForms& forms, const WideMacroblockRow& row);
#endif

// The 4 x 4 dither offsets of 8-bit output as bytes: luma (BayerMatrix) and
// chroma (DitherMatrix) offsets by matrix row and column.
struct DitherPatterns {
  uint8_t luma[4][4];
  uint8_t chroma[4][4];
};

#if KELMAR_HAVE_WIDE
void ConvertPal8RowSse2(const DitherPatterns& patterns, const WideMacroblockRow& row);
void ConvertPal8RowAvx2(const DitherPatterns& patterns, const WideMacroblockRow& row);
#endif

// The vector row converter for `layout` at this call's WideLevel, or
// nullptr when there is none or the tables have no closed form.
WideRowConverter ChooseWideRowConverter(WideLayout layout, const RgbClosedForms** forms);

// Where a converter finds the source rows at normal size: every row from its
// own table entry, or by stepping from the first row of the macroblock row
// with the stride of table entries 0 and 1.
enum class RowSource { kStepped, kEveryEntry };

// Converts macroblock row `mbRow` at normal size with a vector path and
// advances state.mbIndex past it, as the converter's own row converter
// would.  Returns false, having done nothing, when no vector path applies.
bool ConvertRowWide(WideLayout layout, int32_t mbRow, const PlaneSet* planes, const uint8_t* mbMap,
                    ConvertState& state, RowSource source);

// The same for 8-bit output, whose rows are stepped.  The quantiser tables
// are runs of equal values that saturating byte arithmetic reproduces; they
// are compared with those forms when mbRow is 0, the first row of a call.
bool ConvertPal8RowWide(int32_t mbRow, const PlaneSet* planes, const uint8_t* mbMap,
                        ConvertState& state);

}  // namespace kelmar
