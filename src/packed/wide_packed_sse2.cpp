// SSE2 path of the packed writers, 16 pixels per step: the copy, and the
// adjusted output with the table entries read one at a time.
#include "packed/wide_packed.h"

#if KELMAR_HAVE_WIDE

#include <emmintrin.h>

#include <cstdint>

KELMAR_TARGET_SSE2_BEGIN

#include "packed/wide_packed_core.h"

namespace kelmar {
namespace {

// Eight entries of `table`, at the eight indices from `index` on, as the
// low 64 bits of a vector: SSE2 has no byte shuffle to look a table up with,
// so the entries are read one at a time and gathered in two 32-bit words.
KELMAR_VECTOR_INLINE __m128i LookUpEight(const uint8_t (&table)[256], const uint8_t* index) {
  uint32_t word[2];
  for (int w = 0; w < 2; ++w) {
    const uint8_t* at = index + 4 * w;
    word[w] = uint32_t{table[at[0]]} | uint32_t{table[at[1]]} << 8 | uint32_t{table[at[2]]} << 16 |
              uint32_t{table[at[3]]} << 24;
  }
  return _mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(word[0])),
                            _mm_cvtsi32_si128(static_cast<int>(word[1])));
}

// The SSE2 writer: 16 pixels per step, the samples copied or, adjusted,
// looked up one at a time and interleaved 16 bytes at a time.
struct Sse2Packer {
  static constexpr int kMacroblocksPerStep = 1;
  static constexpr bool kLooksUp = true;
  using Tail = Sse2Packer;
  using Pairs = __m128i;

  template <bool kMapChroma>
  KELMAR_VECTOR_INLINE static Pairs LoadPairs(const PackedJob& job, const uint8_t* u,
                                              const uint8_t* v) {
    if (kMapChroma)
      return _mm_unpacklo_epi8(LookUpEight(job.tables->PackedUTable, u),
                               LookUpEight(job.tables->PackedVTable, v));
    return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(u)),
                             _mm_loadl_epi64(reinterpret_cast<const __m128i*>(v)));
  }

  template <bool kYuy2, bool kMapLuma>
  KELMAR_VECTOR_INLINE static void PackRow(const PackedJob& job, const uint8_t* y, Pairs uv,
                                           uint8_t* out) {
    const __m128i luma = kMapLuma
                             ? _mm_unpacklo_epi64(LookUpEight(job.tables->PackedLumaTable, y),
                                                  LookUpEight(job.tables->PackedLumaTable, y + 8))
                             : _mm_loadu_si128(reinterpret_cast<const __m128i*>(y));
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
