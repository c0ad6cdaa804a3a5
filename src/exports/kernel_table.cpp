// The kernel table of the RGB and 8-bit layouts.
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

#if KELMAR_HAVE_NEON
// Advanced SIMD computes the chroma terms of the signed samples with a
// doubling multiply, which needs a halved low constant (HalvedChromaLow).
bool NeonChromaExact(const RgbClosedForms& forms) {
  for (const ChromaTermForm* term : {&forms.uBlue, &forms.uGreen, &forms.vGreen, &forms.vRed})
    if (HalvedChromaLow(term->low) < 0) return false;
  return forms.chromaExact;
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
#endif

#if KELMAR_HAVE_WIDE
// Whether the AVX-512 lookups in windows of LumaTable apply and beat the
// closed forms, which AVX-512 computes too: each window after the first
// adds 12 to its cost of 20.
bool WindowsPreferred(const RgbClosedForms& forms) {
  if (!forms.chromaExact || forms.windows.count == 0) return false;
  if (!forms.Usable()) return true;
  return 20 + 12 * (forms.windows.count - 1) <= LumaFormCost(forms.luma);
}

// A vector kernel needs the tables' closed forms (the dither's, for 8-bit);
// one with byte shuffles can take the luma's halves instead.
bool FormsApply(RgbLayout layout, const RgbTables& tables, bool shufflesBytes) {
  if (layout == RgbLayout::kPal8) return tables.ditherForms.exact;
  return tables.forms.Usable() || (shufflesBytes && tables.forms.UsableByHalves());
}
#endif

// The RGB layouts at double size: the widest kernel for the tables, where an
// instruction set has one for them (RgbDoubledKernel* answer null where not).
PictureConverter ChooseDoubledRgb([[maybe_unused]] RgbLayout layout, const RgbCall& call,
                                  PictureConverter integer) {
  PictureConverter convert = integer;
  [[maybe_unused]] const ConvertPlan& plan = call.plan;
  [[maybe_unused]] const RgbClosedForms& forms = call.tables->forms;
  [[maybe_unused]] const auto take = [&](PictureConverter kernel) {
    if (kernel) convert = kernel;
  };
#if KELMAR_HAVE_WIDE
  if (plan.Allows(CodePath::kSse2)) take(RgbDoubledKernelSse2(layout, forms));
  if (plan.Allows(CodePath::kSsse3)) take(RgbDoubledKernelSsse3(layout, forms));
  if (plan.Allows(CodePath::kAvx2)) take(RgbDoubledKernelAvx2(layout, forms));
  if (plan.Allows(CodePath::kAvx512)) {
    take(WindowsPreferred(forms) ? RgbDoubledWindowKernelAvx512(layout, forms) : nullptr);
    take(RgbDoubledKernelAvx512(layout, forms));
  }
#endif
#if KELMAR_HAVE_NEON
  if (plan.Allows(CodePath::kNeon) && NeonChromaExact(forms)) {
    take(NeonWindowsPreferred(forms) ? RgbDoubledWindowKernelNeon(layout, forms) : nullptr);
    take(RgbDoubledKernelNeon(layout, forms));
  }
#endif
  return convert;
}

// The 8-bit dither at double size, as at normal size.
PictureConverter ChooseDoubledDither(const RgbCall& call, PictureConverter integer) {
  PictureConverter convert = integer;
  if (!call.tables->ditherForms.exact) return convert;
#if KELMAR_HAVE_WIDE
  const ConvertPlan& plan = call.plan;
  if (plan.Allows(CodePath::kSse2)) convert = Pal8KernelSse2(true);
  if (plan.Allows(CodePath::kSsse3)) convert = Pal8KernelSsse3(true);
  if (plan.Allows(CodePath::kAvx2)) convert = Pal8KernelAvx2(true);
#endif
#if KELMAR_HAVE_NEON
  if (call.plan.Allows(CodePath::kNeon)) convert = Pal8KernelNeon(true);
#endif
  return convert;
}

}  // namespace

PictureConverter ChooseRgbConverter(RgbLayout layout, const RgbCall& call, bool zoom) {
  const RgbLayoutKernels& own = OwnKernels(layout);
  if (zoom) {
    return layout == RgbLayout::kPal8 ? ChooseDoubledDither(call, own.doubleSize)
                                      : ChooseDoubledRgb(layout, call, own.doubleSize);
  }
  const ConvertPlan& plan = call.plan;
  PictureConverter convert = own.integer;
#if KELMAR_HAVE_MMX
  if (plan.Allows(CodePath::kMmx) && own.mmx) convert = own.mmx;
#endif
#if KELMAR_HAVE_WIDE
  const RgbTables& tables = *call.tables;
  const bool pal8 = layout == RgbLayout::kPal8;
  if (plan.Allows(CodePath::kSse2) && FormsApply(layout, tables, false))
    convert = pal8 ? Pal8KernelSse2(false) : RgbFormKernelSse2(layout, tables.forms);
  const bool halves = !pal8 && HalvesBeatLumaForm(tables.forms);
  if (plan.Allows(CodePath::kSsse3) && FormsApply(layout, tables, true)) {
    convert = pal8     ? Pal8KernelSsse3(false)
              : halves ? RgbHalvesKernelSsse3(layout)
                       : RgbFormKernelSsse3(layout, tables.forms);
  }
  if (plan.Allows(CodePath::kAvx2) && FormsApply(layout, tables, true)) {
    convert = pal8     ? Pal8KernelAvx2(false)
              : halves ? RgbHalvesKernelAvx2(layout)
                       : RgbFormKernelAvx2(layout, tables.forms);
  }
  // AVX-512 has no dither kernel.  With the 8 vector registers of 32-bit
  // x86 its closed forms spill, and still take about 0.7 of the AVX2 forms'
  // time on a processor with full-width AVX-512.
  if (plan.Allows(CodePath::kAvx512) && !pal8) {
    if (WindowsPreferred(tables.forms))
      convert = RgbWindowKernelAvx512(layout, tables.forms);
    else if (tables.forms.Usable())
      convert = RgbFormKernelAvx512(layout, tables.forms);
  }
#endif
#if KELMAR_HAVE_NEON
  if (plan.Allows(CodePath::kNeon)) {
    const RgbTables& tables = *call.tables;
    const RgbClosedForms& forms = tables.forms;
    if (layout == RgbLayout::kPal8) {
      if (tables.ditherForms.exact) convert = Pal8KernelNeon(false);
    } else if (NeonChromaExact(forms)) {
      if (NeonHalvesPreferred(forms))
        convert = RgbHalvesKernelNeon(layout);
      else if (NeonWindowsPreferred(forms))
        convert = RgbWindowKernelNeon(layout, forms);
      else if (forms.Usable())
        convert = RgbFormKernelNeon(layout, forms);
    }
  }
#endif
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
#if KELMAR_HAVE_WIDE
  if (plan.Allows(CodePath::kSse2)) convert = PackPictureSse2;
  if (plan.Allows(CodePath::kSsse3)) convert = PackPictureSsse3;
  if (plan.Allows(CodePath::kAvx2)) convert = PackPictureAvx2;
  if (plan.Allows(CodePath::kAvx512)) convert = PackPictureAvx512;
#endif
#if KELMAR_HAVE_NEON
  if (plan.Allows(CodePath::kNeon)) convert = PackPictureNeon;
#endif
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
