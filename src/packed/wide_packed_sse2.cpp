// SSE2 path of the packed writers: the unadjusted copy, 16 pixels per step.
#include "packed/wide_packed.h"

#if KELMAR_HAVE_WIDE

#include <emmintrin.h>

#include <cstdint>

KELMAR_TARGET_SSE2_BEGIN

namespace kelmar {
namespace {

template <bool kYuy2>
KELMAR_VECTOR_INLINE void PackRow16(const uint8_t* y, __m128i uv, uint8_t* out) {
  const __m128i luma = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y));
  const __m128i low = kYuy2 ? _mm_unpacklo_epi8(luma, uv) : _mm_unpacklo_epi8(uv, luma);
  const __m128i high = kYuy2 ? _mm_unpackhi_epi8(luma, uv) : _mm_unpackhi_epi8(uv, luma);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), low);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), high);
}

template <bool kYuy2>
void PackRun(const PackedRun& run) {
  for (int pair = 0; pair < 8; ++pair) {
    const auto [y0, y1, u, v, out0, out1] = RowPairOfPackedRun(run, pair);
    for (ptrdiff_t c = 0; c < run.macroblocks; ++c) {
      const __m128i uv =
          _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(u + 8 * c)),
                            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(v + 8 * c)));
      PackRow16<kYuy2>(y0 + 16 * c, uv, out0 + 32 * c);
      PackRow16<kYuy2>(y1 + 16 * c, uv, out1 + 32 * c);
    }
  }
}

}  // namespace

void PackPictureSse2(const PackedJob& job, const PackedPicture& picture) {
  if (job.yuy2)
    ForEachPackedRun(picture, [](const PackedRun& run) { PackRun<true>(run); });
  else
    ForEachPackedRun(picture, [](const PackedRun& run) { PackRun<false>(run); });
}

}  // namespace kelmar

KELMAR_TARGET_END

#endif  // KELMAR_HAVE_WIDE
