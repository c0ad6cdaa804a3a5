// The SSE2 primitives of the vector RGB kernels, 16 pixels per step.
// Included by wide_rgb_sse2.cpp and by wide_rgb_ssse3.cpp, whose traits
// replace the operations SSSE3 has its own instructions for, each after it
// has switched the compiler's target; everything here has internal linkage.
#pragma once

#include <emmintrin.h>

#include <cstdint>

#include "common/features.h"
#include "rgb/vector_traits.h"

namespace kelmar {
namespace {

// Four pixels held as 32-bit words B, G, R, 0 become 12 bytes at the bottom
// of the register: each 64-bit half drops its pixels' zero bytes, then the
// upper half is moved down against the lower one.
KELMAR_VECTOR_INLINE __m128i SqueezeBgr0(__m128i words) {
  const __m128i pixelMask = _mm_set_epi32(0, 0x00FFFFFF, 0, 0x00FFFFFF);
  const __m128i secondMask = _mm_set_epi32(0x0000FFFF, static_cast<int>(0xFF000000u), 0x0000FFFF,
                                           static_cast<int>(0xFF000000u));
  const __m128i halves = _mm_or_si128(_mm_and_si128(words, pixelMask),
                                      _mm_and_si128(_mm_srli_epi64(words, 8), secondMask));
  return _mm_or_si128(_mm_move_epi64(halves),
                      _mm_slli_si128(_mm_unpackhi_epi64(halves, _mm_setzero_si128()), 6));
}

// The SSE2 primitives of the vector kernels: 16 pixels, one macroblock row,
// per step.
struct Sse2 : BytesFromWords<Sse2> {
  using Vec = __m128i;
  static constexpr int kMacroblocksPerStep = 1;

  static Vec Zero() { return _mm_setzero_si128(); }
  static Vec Set8(char v) { return _mm_set1_epi8(v); }
  static Vec Set16(int16_t v) { return _mm_set1_epi16(v); }
  static Vec Set32(int32_t v) { return _mm_set1_epi32(v); }
  static Vec Add16(Vec a, Vec b) { return _mm_add_epi16(a, b); }
  static Vec Sub16(Vec a, Vec b) { return _mm_sub_epi16(a, b); }
  static Vec Mullo16(Vec a, Vec b) { return _mm_mullo_epi16(a, b); }
  static Vec MulhiU16(Vec a, Vec b) { return _mm_mulhi_epu16(a, b); }
  // A true comparison is -1 in its lane.
  static Vec PlusOneWhereGreater16(Vec x, Vec a, Vec b) { return Sub16(x, _mm_cmpgt_epi16(a, b)); }
  static Vec PlusOneWhereEqual16(Vec x, Vec a, Vec b) { return Sub16(x, _mm_cmpeq_epi16(a, b)); }
  static Vec MinusOneWhereEqual16(Vec x, Vec a, Vec b) { return Add16(x, _mm_cmpeq_epi16(a, b)); }
  static Vec PlusOneWhereEqual8(Vec x, Vec a, Vec b) {
    return _mm_sub_epi8(x, _mm_cmpeq_epi8(a, b));
  }
  static Vec MinusOneWhereEqual8(Vec x, Vec a, Vec b) {
    return _mm_add_epi8(x, _mm_cmpeq_epi8(a, b));
  }
  static Vec Max16(Vec a, Vec b) { return _mm_max_epi16(a, b); }
  static Vec Min16(Vec a, Vec b) { return _mm_min_epi16(a, b); }
  static Vec Abs16(Vec a) { return _mm_max_epi16(a, _mm_sub_epi16(_mm_setzero_si128(), a)); }
  // `magnitude` with the sign of x; magnitudes are 0 where x is 0.
  static Vec Sign16(Vec magnitude, Vec x) {
    const Vec negative = _mm_srai_epi16(x, 15);
    return _mm_sub_epi16(_mm_xor_si128(magnitude, negative), negative);
  }
  static Vec And(Vec a, Vec b) { return _mm_and_si128(a, b); }
  static Vec Or(Vec a, Vec b) { return _mm_or_si128(a, b); }
  template <int n>
  static Vec Srli16(Vec a) {
    return _mm_srli_epi16(a, n);
  }
  template <int n>
  static Vec Slli16(Vec a) {
    return _mm_slli_epi16(a, n);
  }
  static Vec UnpackLo8(Vec a, Vec b) { return _mm_unpacklo_epi8(a, b); }
  static Vec UnpackHi8(Vec a, Vec b) { return _mm_unpackhi_epi8(a, b); }
  static Vec UnpackLo16(Vec a, Vec b) { return _mm_unpacklo_epi16(a, b); }
  static Vec UnpackHi16(Vec a, Vec b) { return _mm_unpackhi_epi16(a, b); }
  static Vec PackUS16(Vec a, Vec b) { return _mm_packus_epi16(a, b); }
  static Vec AddsU8(Vec a, Vec b) { return _mm_adds_epu8(a, b); }
  static Vec SubsU8(Vec a, Vec b) { return _mm_subs_epu8(a, b); }
  static Vec MaxU8(Vec a, Vec b) { return _mm_max_epu8(a, b); }

  static Vec LoadLuma(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const Vec*>(p)); }
  static Vec LoadChroma16(const uint8_t* p) {
    return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const Vec*>(p)), _mm_setzero_si128());
  }
  static Vec LoadChromaPairs(const uint8_t* p) {
    const Vec samples = _mm_loadl_epi64(reinterpret_cast<const Vec*>(p));
    return _mm_unpacklo_epi8(samples, samples);
  }

  static void StoreBytes(uint8_t* out, Vec a) { _mm_storeu_si128(reinterpret_cast<Vec*>(out), a); }
  static void StoreWords(uint8_t* out, Vec low, Vec high) {
    _mm_storeu_si128(reinterpret_cast<Vec*>(out), low);
    _mm_storeu_si128(reinterpret_cast<Vec*>(out + 16), high);
  }
  KELMAR_VECTOR_INLINE static void StoreBgr24(uint8_t* out, Vec b, Vec g, Vec r) {
    const Vec zero = _mm_setzero_si128();
    const Vec bgLow = _mm_unpacklo_epi8(b, g);
    const Vec bgHigh = _mm_unpackhi_epi8(b, g);
    const Vec rLow = _mm_unpacklo_epi8(r, zero);
    const Vec rHigh = _mm_unpackhi_epi8(r, zero);
    const Vec q0 = SqueezeBgr0(_mm_unpacklo_epi16(bgLow, rLow));    // pixels 0-3
    const Vec q1 = SqueezeBgr0(_mm_unpackhi_epi16(bgLow, rLow));    // 4-7
    const Vec q2 = SqueezeBgr0(_mm_unpacklo_epi16(bgHigh, rHigh));  // 8-11
    const Vec q3 = SqueezeBgr0(_mm_unpackhi_epi16(bgHigh, rHigh));  // 12-15
    _mm_storeu_si128(reinterpret_cast<Vec*>(out), _mm_or_si128(q0, _mm_slli_si128(q1, 12)));
    _mm_storeu_si128(reinterpret_cast<Vec*>(out + 16),
                     _mm_or_si128(_mm_srli_si128(q1, 4), _mm_slli_si128(q2, 8)));
    _mm_storeu_si128(reinterpret_cast<Vec*>(out + 32),
                     _mm_or_si128(_mm_srli_si128(q2, 8), _mm_slli_si128(q3, 4)));
  }
};

}  // namespace
}  // namespace kelmar
