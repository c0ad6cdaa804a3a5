// SSE2 vector paths of the RGB converters: 16 pixels per step.
#include "rgb/wide_rgb.h"

#if KELMAR_HAVE_WIDE

#include <emmintrin.h>

#include <cstdint>

KELMAR_TARGET_SSE2_BEGIN

#include "rgb/wide_dither_core.h"
#include "rgb/wide_rgb_core.h"

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
struct Sse2 {
  using V = __m128i;
  static constexpr int kMacroblocksPerStep = 1;

  static V Zero() { return _mm_setzero_si128(); }
  static V Set8(char v) { return _mm_set1_epi8(v); }
  static V Set16(int16_t v) { return _mm_set1_epi16(v); }
  static V Set32(int32_t v) { return _mm_set1_epi32(v); }
  static V Add16(V a, V b) { return _mm_add_epi16(a, b); }
  static V Sub16(V a, V b) { return _mm_sub_epi16(a, b); }
  static V Mullo16(V a, V b) { return _mm_mullo_epi16(a, b); }
  static V MulhiU16(V a, V b) { return _mm_mulhi_epu16(a, b); }
  // A true comparison is -1 in its lane.
  static V PlusOneWhereGreater16(V x, V a, V b) { return Sub16(x, _mm_cmpgt_epi16(a, b)); }
  static V PlusOneWhereEqual16(V x, V a, V b) { return Sub16(x, _mm_cmpeq_epi16(a, b)); }
  static V MinusOneWhereEqual16(V x, V a, V b) { return Add16(x, _mm_cmpeq_epi16(a, b)); }
  static V Max16(V a, V b) { return _mm_max_epi16(a, b); }
  static V Min16(V a, V b) { return _mm_min_epi16(a, b); }
  static V Abs16(V a) { return _mm_max_epi16(a, _mm_sub_epi16(_mm_setzero_si128(), a)); }
  // `magnitude` with the sign of x; magnitudes are 0 where x is 0.
  static V Sign16(V magnitude, V x) {
    const V negative = _mm_srai_epi16(x, 15);
    return _mm_sub_epi16(_mm_xor_si128(magnitude, negative), negative);
  }
  static V And(V a, V b) { return _mm_and_si128(a, b); }
  static V Or(V a, V b) { return _mm_or_si128(a, b); }
  template <int n>
  static V Srli16(V a) {
    return _mm_srli_epi16(a, n);
  }
  template <int n>
  static V Slli16(V a) {
    return _mm_slli_epi16(a, n);
  }
  static V UnpackLo8(V a, V b) { return _mm_unpacklo_epi8(a, b); }
  static V UnpackHi8(V a, V b) { return _mm_unpackhi_epi8(a, b); }
  static V UnpackLo16(V a, V b) { return _mm_unpacklo_epi16(a, b); }
  static V UnpackHi16(V a, V b) { return _mm_unpackhi_epi16(a, b); }
  static V PackUS16(V a, V b) { return _mm_packus_epi16(a, b); }
  static V AddsU8(V a, V b) { return _mm_adds_epu8(a, b); }
  static V SubsU8(V a, V b) { return _mm_subs_epu8(a, b); }
  static V MaxU8(V a, V b) { return _mm_max_epu8(a, b); }
  static V MinU8(V a, V b) { return _mm_min_epu8(a, b); }

  static V LoadLuma(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const V*>(p)); }
  static V LoadChroma16(const uint8_t* p) {
    return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const V*>(p)), _mm_setzero_si128());
  }
  static V LoadChromaPairs(const uint8_t* p) {
    const V samples = _mm_loadl_epi64(reinterpret_cast<const V*>(p));
    return _mm_unpacklo_epi8(samples, samples);
  }

  static void StoreBytes(uint8_t* out, V a) { _mm_storeu_si128(reinterpret_cast<V*>(out), a); }
  static void StoreWords(uint8_t* out, V low, V high) {
    _mm_storeu_si128(reinterpret_cast<V*>(out), low);
    _mm_storeu_si128(reinterpret_cast<V*>(out + 16), high);
  }
  static void StoreBgr24(uint8_t* out, V b, V g, V r) {
    const V zero = _mm_setzero_si128();
    const V bgLow = _mm_unpacklo_epi8(b, g);
    const V bgHigh = _mm_unpackhi_epi8(b, g);
    const V rLow = _mm_unpacklo_epi8(r, zero);
    const V rHigh = _mm_unpackhi_epi8(r, zero);
    const V q0 = SqueezeBgr0(_mm_unpacklo_epi16(bgLow, rLow));    // pixels 0-3
    const V q1 = SqueezeBgr0(_mm_unpackhi_epi16(bgLow, rLow));    // 4-7
    const V q2 = SqueezeBgr0(_mm_unpacklo_epi16(bgHigh, rHigh));  // 8-11
    const V q3 = SqueezeBgr0(_mm_unpackhi_epi16(bgHigh, rHigh));  // 12-15
    _mm_storeu_si128(reinterpret_cast<V*>(out), _mm_or_si128(q0, _mm_slli_si128(q1, 12)));
    _mm_storeu_si128(reinterpret_cast<V*>(out + 16),
                     _mm_or_si128(_mm_srli_si128(q1, 4), _mm_slli_si128(q2, 8)));
    _mm_storeu_si128(reinterpret_cast<V*>(out + 32),
                     _mm_or_si128(_mm_srli_si128(q2, 8), _mm_slli_si128(q3, 4)));
  }
};

}  // namespace

PictureConverter RgbFormKernelSse2(RgbLayout layout, const RgbClosedForms& forms) {
  return FormKernelFor<Sse2>(layout, forms);
}

PictureConverter Pal8KernelSse2() { return DitherPicture<Sse2>; }

}  // namespace kelmar

KELMAR_TARGET_END

#endif  // KELMAR_HAVE_WIDE
