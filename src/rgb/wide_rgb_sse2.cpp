// SSE2 vector paths of the RGB converters: 16 pixels per step.  Every
// x86-64 processor has SSE2, so nothing here needs a target switch.
#include "rgb/wide_rgb.h"

#if KELMAR_HAVE_WIDE

#include <emmintrin.h>

#include <cstdint>
#include <cstring>

namespace kelmar {
namespace {

inline __m128i Zero(__m128i) { return _mm_setzero_si128(); }
inline __m128i Set16(__m128i, int16_t v) { return _mm_set1_epi16(v); }
inline __m128i Set32(__m128i, int32_t v) { return _mm_set1_epi32(v); }
inline __m128i LoadChroma16(__m128i, const uint8_t* p) {
  return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)),
                           _mm_setzero_si128());
}
inline __m128i LoadLuma(__m128i, const uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
inline __m128i Add16(__m128i a, __m128i b) { return _mm_add_epi16(a, b); }
inline __m128i Sub16(__m128i a, __m128i b) { return _mm_sub_epi16(a, b); }
inline __m128i Mullo16(__m128i a, __m128i b) { return _mm_mullo_epi16(a, b); }
inline __m128i MulhiU16(__m128i a, __m128i b) { return _mm_mulhi_epu16(a, b); }
inline __m128i CmpGt16(__m128i a, __m128i b) { return _mm_cmpgt_epi16(a, b); }
inline __m128i CmpEq16(__m128i a, __m128i b) { return _mm_cmpeq_epi16(a, b); }
inline __m128i Abs16(__m128i a) { return _mm_max_epi16(a, _mm_sub_epi16(_mm_setzero_si128(), a)); }
// magnitude with the sign of x; magnitudes are 0 where x is 0.
inline __m128i Sign16(__m128i magnitude, __m128i x) {
  const __m128i negative = _mm_srai_epi16(x, 15);
  return _mm_sub_epi16(_mm_xor_si128(magnitude, negative), negative);
}
inline __m128i UnpackLo16(__m128i a, __m128i b) { return _mm_unpacklo_epi16(a, b); }
inline __m128i UnpackHi16(__m128i a, __m128i b) { return _mm_unpackhi_epi16(a, b); }
inline __m128i UnpackLo8(__m128i a, __m128i b) { return _mm_unpacklo_epi8(a, b); }
inline __m128i UnpackHi8(__m128i a, __m128i b) { return _mm_unpackhi_epi8(a, b); }
inline __m128i PackUS16(__m128i a, __m128i b) { return _mm_packus_epi16(a, b); }
inline __m128i Set8(__m128i, char v) { return _mm_set1_epi8(v); }
inline __m128i AddsU8(__m128i a, __m128i b) { return _mm_adds_epu8(a, b); }
inline __m128i SubsU8(__m128i a, __m128i b) { return _mm_subs_epu8(a, b); }
inline __m128i MaxU8(__m128i a, __m128i b) { return _mm_max_epu8(a, b); }
inline __m128i MinU8(__m128i a, __m128i b) { return _mm_min_epu8(a, b); }
inline void StoreBytes(uint8_t* out, __m128i a) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), a);
}
inline __m128i LoadChromaPairs(__m128i, const uint8_t* p) {
  const __m128i samples = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
  return _mm_unpacklo_epi8(samples, samples);
}
inline __m128i And(__m128i a, __m128i b) { return _mm_and_si128(a, b); }
inline __m128i Or(__m128i a, __m128i b) { return _mm_or_si128(a, b); }
template <int n>
inline __m128i Srli16(__m128i a) {
  return _mm_srli_epi16(a, n);
}
template <int n>
inline __m128i Slli16(__m128i a) {
  return _mm_slli_epi16(a, n);
}

// Four pixels held as 32-bit words B, G, R, 0 become 12 bytes at the bottom
// of the register: each 64-bit half drops its pixels' zero bytes, then the
// upper half is moved down against the lower one.
inline __m128i SqueezeBgr0(__m128i words) {
  const __m128i pixelMask = _mm_set_epi32(0, 0x00FFFFFF, 0, 0x00FFFFFF);
  const __m128i secondMask = _mm_set_epi32(0x0000FFFF, static_cast<int>(0xFF000000u), 0x0000FFFF,
                                           static_cast<int>(0xFF000000u));
  const __m128i halves = _mm_or_si128(_mm_and_si128(words, pixelMask),
                                      _mm_and_si128(_mm_srli_epi64(words, 8), secondMask));
  return _mm_or_si128(_mm_move_epi64(halves),
                      _mm_slli_si128(_mm_unpackhi_epi64(halves, _mm_setzero_si128()), 6));
}

inline void StoreBgr24(uint8_t* out, __m128i b, __m128i g, __m128i r) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i bgLow = _mm_unpacklo_epi8(b, g);
  const __m128i bgHigh = _mm_unpackhi_epi8(b, g);
  const __m128i rLow = _mm_unpacklo_epi8(r, zero);
  const __m128i rHigh = _mm_unpackhi_epi8(r, zero);
  const __m128i q0 = SqueezeBgr0(_mm_unpacklo_epi16(bgLow, rLow));    // pixels 0-3
  const __m128i q1 = SqueezeBgr0(_mm_unpackhi_epi16(bgLow, rLow));    // 4-7
  const __m128i q2 = SqueezeBgr0(_mm_unpacklo_epi16(bgHigh, rHigh));  // 8-11
  const __m128i q3 = SqueezeBgr0(_mm_unpackhi_epi16(bgHigh, rHigh));  // 12-15
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_or_si128(q0, _mm_slli_si128(q1, 12)));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16),
                   _mm_or_si128(_mm_srli_si128(q1, 4), _mm_slli_si128(q2, 8)));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 32),
                   _mm_or_si128(_mm_srli_si128(q2, 8), _mm_slli_si128(q3, 4)));
}

inline void StoreWords(uint8_t* out, __m128i low, __m128i high) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), low);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), high);
}

}  // namespace
}  // namespace kelmar

#include "rgb/wide_rgb_core.h"

namespace kelmar {

void ConvertRgb24RowSse2(const RgbClosedForms& forms, const WideMacroblockRow& row) {
  ConvertMacroblockRow<Rgb24Pixels, __m128i>(forms, row);
}

void ConvertRgb555RowSse2(const RgbClosedForms& forms, const WideMacroblockRow& row) {
  ConvertMacroblockRow<Rgb555Pixels, __m128i>(forms, row);
}

void ConvertRgb565RowSse2(const RgbClosedForms& forms, const WideMacroblockRow& row) {
  ConvertMacroblockRow<Rgb565Pixels, __m128i>(forms, row);
}

void ConvertPal8RowSse2(const DitherPatterns& patterns, const WideMacroblockRow& row) {
  DitherMacroblockRow<__m128i>(patterns, row);
}

}  // namespace kelmar

#endif  // KELMAR_HAVE_WIDE
