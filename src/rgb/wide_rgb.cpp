// Choosing a vector row converter for a call, and the row pointers it needs.
#include "rgb/wide_rgb.h"

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

}  // namespace

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
