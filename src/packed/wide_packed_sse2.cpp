// SSE2 path of the packed writers: the unadjusted copy, 16 pixels per step.
#include "packed/wide_packed.h"

#if KELMAR_HAVE_WIDE

#include <emmintrin.h>

#include <cstdint>

KELMAR_TARGET_SSE2_BEGIN

#include "packed/wide_packed_core.h"

namespace kelmar {
namespace {

// The SSE2 writer: 16 pixels per step, samples copied (SSE2 has no byte
// shuffle to look the tables up with).
struct Sse2Packer {
  static constexpr int kMacroblocksPerStep = 1;
  static constexpr bool kLooksUp = false;
  using Tail = Sse2Packer;
  using Pairs = __m128i;

  template <bool kMapChroma>
  KELMAR_VECTOR_INLINE static Pairs LoadPairs(const PackedJob&, const uint8_t* u,
                                              const uint8_t* v) {
    return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(u)),
                             _mm_loadl_epi64(reinterpret_cast<const __m128i*>(v)));
  }

  template <bool kYuy2, bool kMapLuma>
  KELMAR_VECTOR_INLINE static void PackRow(const PackedJob&, const uint8_t* y, Pairs uv,
                                           uint8_t* out) {
    const __m128i luma = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y));
    const __m128i low = kYuy2 ? _mm_unpacklo_epi8(luma, uv) : _mm_unpacklo_epi8(uv, luma);
    const __m128i high = kYuy2 ? _mm_unpackhi_epi8(luma, uv) : _mm_unpackhi_epi8(uv, luma);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), low);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), high);
  }
};

}  // namespace

void PackPictureSse2(const PackedJob& job, const PackedPicture& picture) {
  PackPicture<Sse2Packer>(job, picture);
}

}  // namespace kelmar

KELMAR_TARGET_END

#endif  // KELMAR_HAVE_WIDE
