// SSSE3 vector paths of the RGB converters: the SSE2 kernels with the
// instructions SSSE3 adds, for processors without AVX2: byte shuffles for
// the 24-bit interleave, and absolute value and sign in one instruction each.
#include "rgb/wide_rgb.h"

#if KELMAR_HAVE_WIDE

#include <tmmintrin.h>

#include <cstdint>

KELMAR_TARGET_SSSE3_BEGIN

#include "rgb/bgr_shuffle.h"
#include "rgb/wide_dither_core.h"
#include "rgb/wide_rgb_core.h"
#include "rgb/wide_rgb_sse2.h"

namespace kelmar {
namespace {

struct Ssse3 : Sse2 {
  static Vec Abs16(Vec a) { return _mm_abs_epi16(a); }
  static Vec Sign16(Vec magnitude, Vec x) { return _mm_sign_epi16(magnitude, x); }
  static Vec Shuffle(Vec table, Vec index) { return _mm_shuffle_epi8(table, index); }
  static Vec LoadBytes16(const uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  }
  static Vec CmpGt8(Vec a, Vec b) { return _mm_cmpgt_epi8(a, b); }
  static Vec Add8(Vec a, Vec b) { return _mm_add_epi8(a, b); }
  KELMAR_VECTOR_INLINE static void StoreBgr24(uint8_t* out, Vec b, Vec g, Vec r) {
    const BgrParts128 parts = InterleaveBgr(b, g, r);
    for (int k = 0; k < 3; ++k)
      _mm_storeu_si128(reinterpret_cast<Vec*>(out + 16 * k), parts.part[k]);
  }
};

}  // namespace

const WideRgbKernels kSsse3RgbKernels = {
    FormKernelFor<Ssse3>,   HalvesKernelFor<Ssse3>, nullptr, DoubledKernelFor<Ssse3>, nullptr,
    DitherKernelFor<Ssse3>,
};

}  // namespace kelmar

KELMAR_TARGET_END

#endif  // KELMAR_HAVE_WIDE
