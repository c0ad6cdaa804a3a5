// Choosing a vector row converter for a call, and the row pointers it needs.
#include "rgb/wide_rgb.h"

#include "rgb/wide_rows.h"

namespace kelmar {

#if KELMAR_HAVE_WIDE
namespace {

using RgbKernel = void (*)(const RgbClosedForms& forms, const WideMacroblockRow& row);
using Pal8Kernel = void (*)(const DitherPatterns& patterns, const WideMacroblockRow& row);

WideMacroblockRow StartWideRow(const RgbJob& job, ptrdiff_t mbRow, uint8_t* rowOut,
                               const MarkedRuns& runs, RowSource source) {
  const PlaneSet* planes = job.planes;
  WideMacroblockRow row = {{}, {}, {}, rowOut, job.rowBytes, runs};
  const ptrdiff_t firstLuma = 16 * mbRow;
  const ptrdiff_t firstChroma = 8 * mbRow;
  if (source == RowSource::kEveryEntry) {
    for (int r = 0; r < 16; ++r) row.y[r] = planes->yRows[firstLuma + r];
    for (int j = 0; j < 8; ++j) {
      row.u[j] = planes->uRows[firstChroma + j];
      row.v[j] = planes->vRows[firstChroma + j];
    }
  } else {
    const ptrdiff_t lumaStride = LumaStride(planes);
    const ptrdiff_t chromaStride = ChromaStrideFromLuma(lumaStride);
    for (int r = 0; r < 16; ++r) row.y[r] = StepBytes(planes->yRows[firstLuma], r * lumaStride);
    for (int j = 0; j < 8; ++j) {
      row.u[j] = StepBytes(planes->uRows[firstChroma], j * chromaStride);
      row.v[j] = StepBytes(planes->vRows[firstChroma], j * chromaStride);
    }
  }
  return row;
}

template <RgbKernel kKernel, RowSource kRows>
void ConvertRowWide(const RgbJob& job, ptrdiff_t mbRow, uint8_t* rowOut, const MarkedRuns& runs) {
  kKernel(job.tables->forms, StartWideRow(job, mbRow, rowOut, runs, kRows));
}

template <Pal8Kernel kKernel>
void ConvertPal8RowWide(const RgbJob& job, ptrdiff_t mbRow, uint8_t* rowOut,
                        const MarkedRuns& runs) {
  kKernel(job.tables->ditherForms.patterns,
          StartWideRow(job, mbRow, rowOut, runs, Pal8Facts::kRows));
}

// Whether the AVX-512 window kernels beat the closed forms, which AVX-512
// computes too: each window after the first adds 12 to its cost of 20.
bool WindowsPreferred(const RgbClosedForms& forms) {
  if (!forms.Usable()) return true;
  return 20 + 12 * (forms.windows.count - 1) <= LumaFormCost(forms.luma);
}

// The kernels a layout has, one per way of computing LumaTable.
enum class RgbKernelKind { kNone, kSse2, kAvx2, kAvx512, kAvx512Windows };

// The kernel the call's plan and tables allow.  Every kernel needs the
// chroma forms; the AVX-512 windows stand in for a luma form, and the
// AVX-512 forms need the 32 vector registers of x86-64.
RgbKernelKind ChooseKernelKind(const RgbCall& call) {
  const RgbClosedForms& forms = call.tables->forms;
  const ConvertPlan& plan = call.plan;
  if (plan.Allows(CodePath::kAvx512) && forms.chromaExact && forms.windows.count > 0 &&
      WindowsPreferred(forms))
    return RgbKernelKind::kAvx512Windows;
  if (!plan.Allows(CodePath::kSse2) || !forms.Usable()) return RgbKernelKind::kNone;
  if (plan.Allows(CodePath::kAvx512) && KELMAR_WIDE_REGISTERS_32) return RgbKernelKind::kAvx512;
  return plan.Allows(CodePath::kAvx2) ? RgbKernelKind::kAvx2 : RgbKernelKind::kSse2;
}

template <class Facts, RgbKernel kSse2, RgbKernel kAvx2, RgbKernel kAvx512, RgbKernel kWindows>
RowConverter LayoutRow(RgbKernelKind kind) {
  switch (kind) {
    case RgbKernelKind::kNone: break;
    case RgbKernelKind::kSse2: return ConvertRowWide<kSse2, Facts::kRows>;
    case RgbKernelKind::kAvx2: return ConvertRowWide<kAvx2, Facts::kRows>;
    case RgbKernelKind::kAvx512: return ConvertRowWide<kAvx512, Facts::kRows>;
    case RgbKernelKind::kAvx512Windows: return ConvertRowWide<kWindows, Facts::kRows>;
  }
  return nullptr;
}

}  // namespace
#endif

RowConverter ChooseWideRow(WideLayout layout, const RgbCall& call) {
#if KELMAR_HAVE_WIDE
  const RgbKernelKind kind = ChooseKernelKind(call);
  switch (layout) {
    case WideLayout::kRgb24:
      return LayoutRow<Rgb24Facts, ConvertRgb24RowSse2, ConvertRgb24RowAvx2, ConvertRgb24RowAvx512,
                       ConvertRgb24WindowRowAvx512>(kind);
    case WideLayout::kRgb555:
      return LayoutRow<Rgb555Facts, ConvertRgb555RowSse2, ConvertRgb555RowAvx2,
                       ConvertRgb555RowAvx512, ConvertRgb555WindowRowAvx512>(kind);
    case WideLayout::kRgb565:
      return LayoutRow<Rgb565Facts, ConvertRgb565RowSse2, ConvertRgb565RowAvx2,
                       ConvertRgb565RowAvx512, ConvertRgb565WindowRowAvx512>(kind);
  }
#else
  (void)layout;
  (void)call;
#endif
  return nullptr;
}

RowConverter ChooseWidePal8Row(const RgbCall& call) {
#if KELMAR_HAVE_WIDE
  if (!call.plan.Allows(CodePath::kSse2) || !call.tables->ditherForms.exact) return nullptr;
  return call.plan.Allows(CodePath::kAvx2) ? ConvertPal8RowWide<ConvertPal8RowAvx2>
                                           : ConvertPal8RowWide<ConvertPal8RowSse2>;
#else
  (void)call;
  return nullptr;
#endif
}

}  // namespace kelmar
