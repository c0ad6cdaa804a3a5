// Choosing a vector row converter for a call, and the row pointers it needs.
#include "rgb/wide_rgb.h"

#include <cstring>

#include "tables/dither_palette.h"

namespace kelmar {

WideRowConverter ChooseWideRowConverter(WideLayout layout, const RgbClosedForms** forms) {
#if KELMAR_HAVE_WIDE
  if (WideLevel == WideSimd::kNone) return nullptr;
  const RgbClosedForms& current = CurrentRgbClosedForms();
  if (!current.Usable()) return nullptr;
  *forms = &current;
  const bool avx2 = WideLevel >= WideSimd::kAvx2;
  switch (layout) {
    case WideLayout::kRgb24: return avx2 ? ConvertRgb24RowAvx2 : ConvertRgb24RowSse2;
    case WideLayout::kRgb555: return avx2 ? ConvertRgb555RowAvx2 : ConvertRgb555RowSse2;
    case WideLayout::kRgb565: return avx2 ? ConvertRgb565RowAvx2 : ConvertRgb565RowSse2;
  }
#else
  (void)layout;
  (void)forms;
#endif
  return nullptr;
}

namespace {

void FillWideMacroblockRow(WideMacroblockRow& row, const PlaneSet* planes, int32_t mbRow,
                           RowSource source) {
  const int32_t firstLuma = 16 * mbRow;
  const int32_t firstChroma = 8 * mbRow;
  if (source == RowSource::kEveryEntry) {
    for (int r = 0; r < 16; ++r) row.y[r] = planes->yRows[firstLuma + r];
    for (int j = 0; j < 8; ++j) {
      row.u[j] = planes->uRows[firstChroma + j];
      row.v[j] = planes->vRows[firstChroma + j];
    }
    return;
  }
  const intptr_t lumaStride = LumaStride(planes);
  const intptr_t chromaStride = ChromaStrideFromLuma(lumaStride);
  for (int r = 0; r < 16; ++r) row.y[r] = StepBytes(planes->yRows[firstLuma], r * lumaStride);
  for (int j = 0; j < 8; ++j) {
    row.u[j] = StepBytes(planes->uRows[firstChroma], j * chromaStride);
    row.v[j] = StepBytes(planes->vRows[firstChroma], j * chromaStride);
  }
}

#if KELMAR_HAVE_WIDE
// The quantiser levels as the vector code computes them, for a table index
// already saturated to a byte.
uint8_t SaturatedSub(int32_t a, int32_t b) { return static_cast<uint8_t>(a > b ? a - b : 0); }
int32_t LumaShare(int32_t i) {
  const int32_t level = SaturatedSub(i, 14) & 0xF0;
  return level < 16 ? 16 : (level > 224 ? 224 : level);
}
int32_t UShare(int32_t i) {
  const int32_t level = (SaturatedSub(i, 80) >> 3) & 0x1C;
  return level > 12 ? 12 : level;
}
int32_t VShare(int32_t i) {
  const int32_t level = (SaturatedSub(i, 80) >> 5) & 0x07;
  return level > 3 ? 3 : level;
}

// Whether the dither tables have the forms of the vector code, and their
// offsets as bytes.  Offsets must keep every index inside the tables.
bool DitherTablesHaveForms(DitherPatterns& patterns) {
  for (int k = 0; k < 16; ++k) {
    const int32_t maxOffset = kQuantTableSize - 256;
    if (BayerMatrix[k] < 0 || BayerMatrix[k] > maxOffset) return false;
    if (DitherMatrix[k] < 0 || DitherMatrix[k] > maxOffset) return false;
    patterns.luma[k / 4][k % 4] = static_cast<uint8_t>(BayerMatrix[k]);
    patterns.chroma[k / 4][k % 4] = static_cast<uint8_t>(DitherMatrix[k]);
  }
  // The tables the forms give, made once; each call compares the real ones
  // with them.
  struct Shares {
    uint8_t y[kQuantTableSize], u[kQuantTableSize], v[kQuantTableSize];
  };
  static Shares forms;
  static bool made = false;
  if (!made) {
    for (int32_t i = 0; i < kQuantTableSize; ++i) {
      const int32_t saturated = i < 255 ? i : 255;
      forms.y[i] = static_cast<uint8_t>(LumaShare(saturated));
      forms.u[i] = static_cast<uint8_t>(UShare(saturated));
      forms.v[i] = static_cast<uint8_t>(VShare(saturated));
    }
    made = true;
  }
  return std::memcmp(YQuantTable, forms.y, kQuantTableSize) == 0 &&
         std::memcmp(UQuantTable, forms.u, kQuantTableSize) == 0 &&
         std::memcmp(VQuantTable, forms.v, kQuantTableSize) == 0;
}
#endif

}  // namespace

bool ConvertPal8RowWide(int32_t mbRow, const PlaneSet* planes, const uint8_t* mbMap,
                        ConvertState& state) {
#if KELMAR_HAVE_WIDE
  static bool formsHold = false;
  static DitherPatterns patterns;
  if (mbRow == 0) formsHold = DitherTablesHaveForms(patterns);
  if (WideLevel == WideSimd::kNone || !formsHold || state.mbCols < 1) return false;
  WideMacroblockRow row;
  FillWideMacroblockRow(row, planes, mbRow, RowSource::kStepped);
  row.out = state.rowOut;
  row.rowBytes = state.rowBytes;
  row.map = mbMap + state.mbIndex;
  row.mbCols = state.mbCols;
  if (WideLevel >= WideSimd::kAvx2)
    ConvertPal8RowAvx2(patterns, row);
  else
    ConvertPal8RowSse2(patterns, row);
  state.mbIndex += state.mbCols;
  return true;
#else
  (void)mbRow;
  (void)planes;
  (void)mbMap;
  (void)state;
  return false;
#endif
}

bool ConvertRowWide(WideLayout layout, int32_t mbRow, const PlaneSet* planes, const uint8_t* mbMap,
                    ConvertState& state, RowSource source) {
  if (state.mbCols < 1) return false;
  const RgbClosedForms* forms = nullptr;
  const WideRowConverter convert = ChooseWideRowConverter(layout, &forms);
  if (!convert) return false;
  WideMacroblockRow row;
  FillWideMacroblockRow(row, planes, mbRow, source);
  row.out = state.rowOut;
  row.rowBytes = state.rowBytes;
  row.map = mbMap + state.mbIndex;
  row.mbCols = state.mbCols;
  convert(*forms, row);
  state.mbIndex += state.mbCols;
  return true;
}

}  // namespace kelmar
