// SSE2 vector paths of the RGB converters: 16 pixels per step.
#include "rgb/wide_rgb.h"

#if KELMAR_HAVE_WIDE

#include <emmintrin.h>

#include <cstdint>

KELMAR_TARGET_SSE2_BEGIN

#include "rgb/wide_dither_core.h"
#include "rgb/wide_rgb_core.h"
#include "rgb/wide_rgb_sse2.h"

namespace kelmar {

PictureConverter RgbFormKernelSse2(RgbLayout layout, const RgbClosedForms& forms) {
  return FormKernelFor<Sse2>(layout, forms);
}

PictureConverter RgbDoubledKernelSse2(RgbLayout layout, const RgbClosedForms& forms) {
  return DoubledKernelFor<Sse2>(layout, forms);
}

PictureConverter Pal8KernelSse2(bool doubleSize) { return DitherKernelFor<Sse2>(doubleSize); }

}  // namespace kelmar

KELMAR_TARGET_END

#endif  // KELMAR_HAVE_WIDE
