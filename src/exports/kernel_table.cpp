// The kernel table of every layout, and the entry points that follow it.
#include "exports/kernel_table.h"

#include <initializer_list>

#include "common/features.h"
#include "packed/packed_walk.h"
#include "packed/wide_packed.h"
#include "rgb/closed_forms.h"
#include "rgb/converters.h"
#include "rgb/wide_rgb.h"

namespace kelmar {
namespace {

const RgbLayoutKernels& OwnKernels(RgbLayout layout) {
  switch (layout) {
    case RgbLayout::kRgb24: return kRgb24Kernels;
    case RgbLayout::kRgb555: return kRgb555Kernels;
    case RgbLayout::kRgb565: return kRgb565Kernels;
    case RgbLayout::kPal8: break;
  }
  return kPal8Kernels;
}

// How the kernel table weighs one instruction set's RGB kernels: whether
// its chroma arithmetic gives the tables' terms, and whether its luma by
// halves, or in windows of LumaTable, beats the closed form.
struct LumaPreferences {
  bool (*chromaExact)(const RgbClosedForms& forms);
  bool (*halves)(const RgbClosedForms& forms);
  bool (*windows)(const RgbClosedForms& forms);
};

// One vector instruction set: the code path that allows it, its kernels and
// how it weighs them.
struct WideLevel {
  CodePath path;
  const WideRgbKernels& rgb;
  PackedConverter packed;
  LumaPreferences prefer;
};

#if KELMAR_HAVE_WIDE
// Whether the chroma forms give the tables' terms, each with the factor
// x86 multiplies 4 |x| by (QuarterChromaFactor).
bool ChromaExact(const RgbClosedForms& forms) {
  for (const ChromaTermForm* term : {&forms.uBlue, &forms.uGreen, &forms.vGreen, &forms.vRed})
    if (term->quarter < 0) return false;
  return forms.chromaExact;
}

// Whether the AVX-512 lookups in windows of LumaTable apply and beat the
// closed forms, which AVX-512 computes too: each window after the first
// adds 12 to its cost of 20.
bool WindowsPreferred(const RgbClosedForms& forms) {
  if (!forms.chromaExact || forms.windows.count == 0) return false;
  if (!forms.Usable()) return true;
  return 20 + 12 * (forms.windows.count - 1) <= LumaFormCost(forms.luma);
}

constexpr LumaPreferences kX86Preferences = {ChromaExact, HalvesBeatLumaForm, WindowsPreferred};

// Narrowest first: each allowed level overrides what the ones before it chose.
const WideLevel kX86Levels[] = {
    {CodePath::kSse2, kSse2RgbKernels, PackPictureSse2, kX86Preferences},
    {CodePath::kSsse3, kSsse3RgbKernels, PackPictureSsse3, kX86Preferences},
    {CodePath::kAvx2, kAvx2RgbKernels, PackPictureAvx2, kX86Preferences},
    {CodePath::kAvx512, kAvx512RgbKernels, PackPictureAvx512, kX86Preferences},
};
#endif

#if KELMAR_HAVE_NEON
// Whether the chroma forms give the tables' terms and each plane has a
// shift its two terms have doubling factors for: Advanced SIMD multiplies
// the signed samples, shifted, with a doubling multiply.
bool NeonChromaExact(const RgbClosedForms& forms) {
  return forms.chromaExact && forms.uShift > 0 && forms.vShift > 0;
}

// Whether the luma's halves beat both its windows and its closed form on
// Advanced SIMD: five one-register lookups where a window takes four of
// four registers, which cost several cycles each on most cores; only the
// unit-slope form is cheaper.
bool NeonHalvesPreferred(const RgbClosedForms& forms) {
  return forms.halves.found && forms.luma.kind != LumaFormKind::kUnitSlope;
}

// Whether lookups in the windows of LumaTable beat its closed form on
// Advanced SIMD: a window costs four 64-byte lookups per 16 pixels and
// channel, which only the unit-slope form undercuts.
bool NeonWindowsPreferred(const RgbClosedForms& forms) {
  if (forms.windows.count == 0) return false;
  if (!forms.Usable()) return true;
  return forms.windows.count == 1 && forms.luma.kind != LumaFormKind::kUnitSlope;
}

const WideLevel kNeonLevel = {CodePath::kNeon,
                              kNeonRgbKernels,
                              PackPictureNeon,
                              {NeonChromaExact, NeonHalvesPreferred, NeonWindowsPreferred}};
#endif

// visit(level) for each vector level the plan allows, narrowest first.
template <typename Visit>
void ForEachAllowedLevel([[maybe_unused]] const ConvertPlan& plan, [[maybe_unused]] Visit visit) {
#if KELMAR_HAVE_WIDE
  for (const WideLevel& level : kX86Levels)
    if (plan.Allows(level.path)) visit(level);
#endif
#if KELMAR_HAVE_NEON
  if (plan.Allows(kNeonLevel.path)) visit(kNeonLevel);
#endif
}

// `kernel`, or `convert` where the level answered null.
PictureConverter OrElse(PictureConverter kernel, PictureConverter convert) {
  return kernel ? kernel : convert;
}

// The RGB layouts at normal size: the level's preferred luma kernel for the
// tables, or `convert` where it has none.
PictureConverter RgbKernelOf(const WideLevel& level, RgbLayout layout, const RgbClosedForms& forms,
                             PictureConverter convert) {
  const WideRgbKernels& rgb = level.rgb;
  if (!level.prefer.chromaExact(forms)) return convert;
  if (rgb.halves && level.prefer.halves(forms)) return OrElse(rgb.halves(layout), convert);
  if (rgb.windows && level.prefer.windows(forms))
    return OrElse(rgb.windows(layout, forms), convert);
  return forms.Usable() ? OrElse(rgb.form(layout, forms), convert) : convert;
}

// The RGB layouts at double size: the level's kernel for the tables, or
// `convert` where it has none.
PictureConverter DoubledRgbKernelOf(const WideLevel& level, RgbLayout layout,
                                    const RgbClosedForms& forms, PictureConverter convert) {
  const WideRgbKernels& rgb = level.rgb;
  if (!level.prefer.chromaExact(forms)) return convert;
  if (rgb.doubledWindow && level.prefer.windows(forms))
    convert = OrElse(rgb.doubledWindow(layout, forms), convert);
  return OrElse(rgb.doubled(layout, forms), convert);
}

}  // namespace

PictureConverter ChooseRgbConverter(RgbLayout layout, const RgbCall& call, bool zoom) {
  const RgbLayoutKernels& own = OwnKernels(layout);
  const ConvertPlan& plan = call.plan;
  const RgbTables& tables = *call.tables;
  PictureConverter convert = zoom ? own.doubleSize : own.integer;
#if KELMAR_HAVE_MMX
  if (!zoom && plan.Allows(CodePath::kMmx) && own.mmx) convert = own.mmx;
#endif
  ForEachAllowedLevel(plan, [&](const WideLevel& level) {
    if (layout == RgbLayout::kPal8) {
      if (level.rgb.dither && tables.ditherForms.exact) convert = level.rgb.dither(zoom);
    } else {
      convert = zoom ? DoubledRgbKernelOf(level, layout, tables.forms, convert)
                     : RgbKernelOf(level, layout, tables.forms, convert);
    }
  });
  return convert;
}

PackedConverter ChoosePackedConverter(bool yuy2, const PackedCall& call) {
  const PackedOrderKernels& own = yuy2 ? kYuy2Kernels : kUyvyKernels;
  const ConvertPlan& plan = call.plan;
  const bool adjusted = call.tables != nullptr;
  PackedConverter convert = adjusted ? own.adjusted : own.copy;
#if KELMAR_HAVE_MMX
  if (plan.Allows(CodePath::kMmx) && !adjusted) convert = own.mmxCopy;
#endif
  ForEachAllowedLevel(plan, [&](const WideLevel& level) { convert = level.packed; });
  return convert;
}

namespace {

void Pack(bool yuy2, const OutputGeometry& geometry, void* dst, const PlaneSet* planes,
          const uint8_t* mbMap, const PackedCall& call) {
  const PackedPicture picture = {geometry, static_cast<uint8_t*>(dst), planes, mbMap};
  ChoosePackedConverter(yuy2, call)({yuy2, call.tables}, picture);
}

void ConvertLayout(RgbLayout layout, const OutputGeometry& geometry, void* dst,
                   const PlaneSet* planes, const uint8_t* mbMap, const RgbCall& call) {
  ChooseRgbConverter(layout, call, geometry.zoom)(MakeRgbJob(geometry, dst, planes, mbMap, call));
}

}  // namespace

void ConvertRgb24(const OutputGeometry& geometry, void* dst, const PlaneSet* planes,
                  const uint8_t* mbMap, const RgbCall& call) {
  ConvertLayout(RgbLayout::kRgb24, geometry, dst, planes, mbMap, call);
}

void ConvertRgb555(const OutputGeometry& geometry, void* dst, const PlaneSet* planes,
                   const uint8_t* mbMap, const RgbCall& call) {
  ConvertLayout(RgbLayout::kRgb555, geometry, dst, planes, mbMap, call);
}

void ConvertRgb565(const OutputGeometry& geometry, void* dst, const PlaneSet* planes,
                   const uint8_t* mbMap, const RgbCall& call) {
  ConvertLayout(RgbLayout::kRgb565, geometry, dst, planes, mbMap, call);
}

void ConvertPal8(const OutputGeometry& geometry, void* dst, const PlaneSet* planes,
                 const uint8_t* mbMap, const RgbCall& call) {
  ConvertLayout(RgbLayout::kPal8, geometry, dst, planes, mbMap, call);
}

void PackUYVY(const OutputGeometry& geometry, void* dst, const PlaneSet* planes,
              const uint8_t* mbMap, const PackedCall& call) {
  Pack(false, geometry, dst, planes, mbMap, call);
}

void PackYUY2(const OutputGeometry& geometry, void* dst, const PlaneSet* planes,
              const uint8_t* mbMap, const PackedCall& call) {
  Pack(true, geometry, dst, planes, mbMap, call);
}

}  // namespace kelmar
