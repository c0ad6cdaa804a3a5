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

const WideRgbKernels kSse2RgbKernels = {
    FormKernelFor<Sse2>, nullptr, nullptr, DoubledKernelFor<Sse2>, nullptr, DitherKernelFor<Sse2>,
};

}  // namespace kelmar

KELMAR_TARGET_END

#endif  // KELMAR_HAVE_WIDE
