// Choosing a vector row converter for a call, and the row pointers it needs.
#include "rgb/wide_rgb.h"

#include "rgb/wide_rows.h"

namespace kelmar {

#if KELMAR_HAVE_WIDE
namespace {

using RgbKernel = void (*)(const RgbClosedForms& forms, const WideMacroblockRow& row);
using Pal8Kernel = void (*)(const DitherPatterns& patterns, const WideMacroblockRow& row);

WideMacroblockRow StartWideRow(const PlaneSet* planes, int32_t mbRow, RowSource source,
                               const ConvertState& state, const uint8_t* mbMap) {
  WideMacroblockRow row;
  const int32_t firstLuma = 16 * mbRow;
  const int32_t firstChroma = 8 * mbRow;
  if (source == RowSource::kEveryEntry) {
    for (int r = 0; r < 16; ++r) row.y[r] = planes->yRows[firstLuma + r];
    for (int j = 0; j < 8; ++j) {
      row.u[j] = planes->uRows[firstChroma + j];
      row.v[j] = planes->vRows[firstChroma + j];
    }
  } else {
    const intptr_t lumaStride = LumaStride(planes);
    const intptr_t chromaStride = ChromaStrideFromLuma(lumaStride);
    for (int r = 0; r < 16; ++r) row.y[r] = StepBytes(planes->yRows[firstLuma], r * lumaStride);
    for (int j = 0; j < 8; ++j) {
      row.u[j] = StepBytes(planes->uRows[firstChroma], j * chromaStride);
      row.v[j] = StepBytes(planes->vRows[firstChroma], j * chromaStride);
    }
  }
  row.out = state.rowOut;
  row.rowBytes = state.rowBytes;
  row.map = mbMap + state.mbIndex;
  row.mbCols = state.mbCols;
  return row;
}

// A row without a marked macroblock needs neither its row pointers nor the
// kernel's constants; with a sparse map most rows are such.
bool AnyMarked(const RowJob& job, const ConvertState& state) {
  return NextMarked(job.mbMap + state.mbIndex, 0, state.mbCols) < state.mbCols;
}

template <RgbKernel kKernel, RowSource kRows>
void ConvertRowWide(const RowJob& job, ConvertState& state, int32_t mbRow) {
  if (AnyMarked(job, state))
    kKernel(job.tables->forms, StartWideRow(job.planes, mbRow, kRows, state, job.mbMap));
  state.mbIndex += state.mbCols;
}

template <Pal8Kernel kKernel>
void ConvertPal8RowWide(const RowJob& job, ConvertState& state, int32_t mbRow) {
  if (AnyMarked(job, state))
    kKernel(job.tables->ditherForms.patterns,
            StartWideRow(job.planes, mbRow, Pal8Facts::kRows, state, job.mbMap));
  state.mbIndex += state.mbCols;
}

// Whether the AVX-512 window kernels beat the closed forms, which AVX-512
// computes too: each window after the first adds 12 to its cost of 20.
bool WindowsPreferred(const RgbClosedForms& forms) {
  if (!forms.Usable()) return true;
  return 20 + 12 * (forms.windows.count - 1) <= LumaFormCost(forms.luma);
}

// The AVX-512 kernels: the windows of LumaTable, or its closed form.  Both
// need the chroma forms.
RowConverter ChooseAvx512Row(WideLayout layout, const RgbCall& call) {
  const RgbClosedForms& forms = call.tables->forms;
  if (call.plan.wide < WideSimd::kAvx512 || !forms.chromaExact) return nullptr;
  const bool windows = forms.windows.count > 0 && WindowsPreferred(forms);
  if (!windows && (!forms.Usable() || !KELMAR_WIDE_REGISTERS_32)) return nullptr;
  switch (layout) {
    case WideLayout::kRgb24:
      return windows ? ConvertRowWide<ConvertRgb24WindowRowAvx512, Rgb24Facts::kRows>
                     : ConvertRowWide<ConvertRgb24RowAvx512, Rgb24Facts::kRows>;
    case WideLayout::kRgb555:
      return windows ? ConvertRowWide<ConvertRgb555WindowRowAvx512, Rgb555Facts::kRows>
                     : ConvertRowWide<ConvertRgb555RowAvx512, Rgb555Facts::kRows>;
    case WideLayout::kRgb565:
      return windows ? ConvertRowWide<ConvertRgb565WindowRowAvx512, Rgb565Facts::kRows>
                     : ConvertRowWide<ConvertRgb565RowAvx512, Rgb565Facts::kRows>;
  }
  return nullptr;
}

}  // namespace
#endif

RowConverter ChooseWideRow(WideLayout layout, const RgbCall& call) {
#if KELMAR_HAVE_WIDE
  if (const RowConverter avx512 = ChooseAvx512Row(layout, call)) return avx512;
  if (call.plan.wide == WideSimd::kNone || !call.tables->forms.Usable()) return nullptr;
  const bool avx2 = call.plan.wide >= WideSimd::kAvx2;
  switch (layout) {
    case WideLayout::kRgb24:
      return avx2 ? ConvertRowWide<ConvertRgb24RowAvx2, Rgb24Facts::kRows>
                  : ConvertRowWide<ConvertRgb24RowSse2, Rgb24Facts::kRows>;
    case WideLayout::kRgb555:
      return avx2 ? ConvertRowWide<ConvertRgb555RowAvx2, Rgb555Facts::kRows>
                  : ConvertRowWide<ConvertRgb555RowSse2, Rgb555Facts::kRows>;
    case WideLayout::kRgb565:
      return avx2 ? ConvertRowWide<ConvertRgb565RowAvx2, Rgb565Facts::kRows>
                  : ConvertRowWide<ConvertRgb565RowSse2, Rgb565Facts::kRows>;
  }
#else
  (void)layout;
  (void)call;
#endif
  return nullptr;
}

RowConverter ChooseWidePal8Row(const RgbCall& call) {
#if KELMAR_HAVE_WIDE
  if (call.plan.wide == WideSimd::kNone || !call.tables->ditherForms.exact) return nullptr;
  return call.plan.wide >= WideSimd::kAvx2 ? ConvertPal8RowWide<ConvertPal8RowAvx2>
                                           : ConvertPal8RowWide<ConvertPal8RowSse2>;
#else
  (void)call;
  return nullptr;
#endif
}

}  // namespace kelmar
