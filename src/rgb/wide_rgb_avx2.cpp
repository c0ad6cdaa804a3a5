// AVX2 vector paths of the RGB converters: 32 pixels per step; the last odd
// macroblock of a run goes two row pairs per step, one in each lane.
#include "rgb/wide_rgb.h"

#if KELMAR_HAVE_WIDE

#include <immintrin.h>

#include <cstdint>
#include <cstring>

// Everything below is compiled for AVX2; it only runs when the processor test
// reported AVX2 (WideLevel).
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

namespace kelmar {
namespace {

// --- 256-bit primitives ----------------------------------------------------
inline __m256i Zero(__m256i) { return _mm256_setzero_si256(); }
inline __m256i Set16(__m256i, int16_t v) { return _mm256_set1_epi16(v); }
inline __m256i Set32(__m256i, int32_t v) { return _mm256_set1_epi32(v); }
inline __m256i LoadChroma16(__m256i, const uint8_t* p) {
  return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}
inline __m256i LoadLuma(__m256i, const uint8_t* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}
inline __m256i Add16(__m256i a, __m256i b) { return _mm256_add_epi16(a, b); }
inline __m256i Sub16(__m256i a, __m256i b) { return _mm256_sub_epi16(a, b); }
inline __m256i Mullo16(__m256i a, __m256i b) { return _mm256_mullo_epi16(a, b); }
inline __m256i MulhiU16(__m256i a, __m256i b) { return _mm256_mulhi_epu16(a, b); }
inline __m256i CmpGt16(__m256i a, __m256i b) { return _mm256_cmpgt_epi16(a, b); }
inline __m256i CmpEq16(__m256i a, __m256i b) { return _mm256_cmpeq_epi16(a, b); }
inline __m256i Abs16(__m256i a) { return _mm256_abs_epi16(a); }
inline __m256i Sign16(__m256i magnitude, __m256i x) { return _mm256_sign_epi16(magnitude, x); }
inline __m256i UnpackLo16(__m256i a, __m256i b) { return _mm256_unpacklo_epi16(a, b); }
inline __m256i UnpackHi16(__m256i a, __m256i b) { return _mm256_unpackhi_epi16(a, b); }
inline __m256i UnpackLo8(__m256i a, __m256i b) { return _mm256_unpacklo_epi8(a, b); }
inline __m256i UnpackHi8(__m256i a, __m256i b) { return _mm256_unpackhi_epi8(a, b); }
inline __m256i PackUS16(__m256i a, __m256i b) { return _mm256_packus_epi16(a, b); }
inline __m256i Set8(__m256i, char v) { return _mm256_set1_epi8(v); }
inline __m256i AddsU8(__m256i a, __m256i b) { return _mm256_adds_epu8(a, b); }
inline __m256i SubsU8(__m256i a, __m256i b) { return _mm256_subs_epu8(a, b); }
inline __m256i MaxU8(__m256i a, __m256i b) { return _mm256_max_epu8(a, b); }
inline __m256i MinU8(__m256i a, __m256i b) { return _mm256_min_epu8(a, b); }
inline void StoreBytes(uint8_t* out, __m256i a) {
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), a);
}
// Chroma samples 0-15, each twice: 0-7 in the low lane, 8-15 in the high one.
inline __m256i LoadChromaPairs(__m256i, const uint8_t* p) {
  const __m256i samples = _mm256_permute4x64_epi64(
      _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))), 0x50);
  return _mm256_unpacklo_epi8(samples, samples);
}
inline __m256i And(__m256i a, __m256i b) { return _mm256_and_si256(a, b); }
inline __m256i Or(__m256i a, __m256i b) { return _mm256_or_si256(a, b); }
template <int n>
inline __m256i Srli16(__m256i a) {
  return _mm256_srli_epi16(a, n);
}
template <int n>
inline __m256i Slli16(__m256i a) {
  return _mm256_slli_epi16(a, n);
}

// --- 128-bit loads and stores for the lanes of TwoRows -----------------------
inline __m128i LoadChroma16(__m128i, const uint8_t* p) {
  return _mm_cvtepu8_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)));
}
inline __m128i LoadLuma(__m128i, const uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
inline __m128i LoadChromaPairs(__m128i, const uint8_t* p) {
  const __m128i samples = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
  return _mm_unpacklo_epi8(samples, samples);
}
inline void StoreBytes(uint8_t* out, __m128i a) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), a);
}

// --- 24-bit interleave -----------------------------------------------------
// Byte p of the 48 output bytes of 16 pixels is colour p % 3 of pixel p / 3.
// kBgrShuffle[part][colour] gathers the bytes of output part (16 bytes) from
// the 16 bytes of one colour; -128 leaves a zero for the other colours.
struct BgrShuffles {
  int8_t bytes[3][3][16];
};
constexpr BgrShuffles MakeBgrShuffles() {
  BgrShuffles s{};
  for (int part = 0; part < 3; ++part)
    for (int colour = 0; colour < 3; ++colour)
      for (int p = 0; p < 16; ++p) {
        const int q = 16 * part + p;
        s.bytes[part][colour][p] = static_cast<int8_t>(q % 3 == colour ? q / 3 : -128);
      }
  return s;
}
alignas(16) constexpr BgrShuffles kBgrShuffle = MakeBgrShuffles();

inline __m128i Shuffle(int part, int colour) {
  return _mm_load_si128(reinterpret_cast<const __m128i*>(kBgrShuffle.bytes[part][colour]));
}

inline __m128i BgrPart(int part, __m128i b, __m128i g, __m128i r) {
  return _mm_or_si128(
      _mm_or_si128(_mm_shuffle_epi8(b, Shuffle(part, 0)), _mm_shuffle_epi8(g, Shuffle(part, 1))),
      _mm_shuffle_epi8(r, Shuffle(part, 2)));
}

inline __m256i BgrPart(int part, __m256i b, __m256i g, __m256i r) {
  const __m256i sb = _mm256_broadcastsi128_si256(Shuffle(part, 0));
  const __m256i sg = _mm256_broadcastsi128_si256(Shuffle(part, 1));
  const __m256i sr = _mm256_broadcastsi128_si256(Shuffle(part, 2));
  return _mm256_or_si256(_mm256_or_si256(_mm256_shuffle_epi8(b, sb), _mm256_shuffle_epi8(g, sg)),
                         _mm256_shuffle_epi8(r, sr));
}

inline void StoreBgr24(uint8_t* out, __m128i b, __m128i g, __m128i r) {
  for (int part = 0; part < 3; ++part)
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16 * part), BgrPart(part, b, g, r));
}

// Each 128-bit lane holds 16 pixels: lane 0 the first 48 output bytes,
// lane 1 the next 48.
inline void StoreBgr24(uint8_t* out, __m256i b, __m256i g, __m256i r) {
  const __m256i p0 = BgrPart(0, b, g, r);
  const __m256i p1 = BgrPart(1, b, g, r);
  const __m256i p2 = BgrPart(2, b, g, r);
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_permute2x128_si256(p0, p1, 0x20));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 32),
                      _mm256_permute2x128_si256(p2, p0, 0x30));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 64),
                      _mm256_permute2x128_si256(p1, p2, 0x31));
}

// --- 16-bit words -----------------------------------------------------------
inline void StoreWords(uint8_t* out, __m128i low, __m128i high) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), low);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), high);
}

// `low` holds pixels 0-7 and 16-23, `high` pixels 8-15 and 24-31.
inline void StoreWords(uint8_t* out, __m256i low, __m256i high) {
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_permute2x128_si256(low, high, 0x20));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 32),
                      _mm256_permute2x128_si256(low, high, 0x31));
}

// --- Two rows, one per lane -------------------------------------------------
inline __m256i JoinLanes(__m128i low, __m128i high) {
  return _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1);
}
inline __m256i LoadLuma(__m256i, TwoRows p) {
  return JoinLanes(LoadLuma(__m128i(), p.low), LoadLuma(__m128i(), p.high));
}
inline __m256i LoadChroma16(__m256i, TwoRows p) {
  return JoinLanes(LoadChroma16(__m128i(), p.low), LoadChroma16(__m128i(), p.high));
}
inline __m256i LoadChromaPairs(__m256i, TwoRows p) {
  return JoinLanes(LoadChromaPairs(__m128i(), p.low), LoadChromaPairs(__m128i(), p.high));
}
inline __m128i LowLane(__m256i a) { return _mm256_castsi256_si128(a); }
inline __m128i HighLane(__m256i a) { return _mm256_extracti128_si256(a, 1); }
inline void StoreBgr24(TwoOutputRows out, __m256i b, __m256i g, __m256i r) {
  StoreBgr24(out.low, LowLane(b), LowLane(g), LowLane(r));
  StoreBgr24(out.high, HighLane(b), HighLane(g), HighLane(r));
}
inline void StoreWords(TwoOutputRows out, __m256i low, __m256i high) {
  StoreWords(out.low, LowLane(low), LowLane(high));
  StoreWords(out.high, HighLane(low), HighLane(high));
}
inline void StoreBytes(TwoOutputRows out, __m256i a) {
  StoreBytes(out.low, LowLane(a));
  StoreBytes(out.high, HighLane(a));
}

// `low` repeated in the low lane, `high` in the high one.
inline __m256i SetLanes32(__m256i, uint32_t low, uint32_t high) {
  return JoinLanes(_mm_set1_epi32(static_cast<int>(low)), _mm_set1_epi32(static_cast<int>(high)));
}

}  // namespace
}  // namespace kelmar

#include "rgb/wide_rgb_core.h"

namespace kelmar {

void ConvertRgb24RowAvx2(const RgbClosedForms& forms, const WideMacroblockRow& row) {
  ConvertMacroblockRow<Rgb24Pixels, __m256i>(forms, row);
}

void ConvertRgb555RowAvx2(const RgbClosedForms& forms, const WideMacroblockRow& row) {
  ConvertMacroblockRow<Rgb555Pixels, __m256i>(forms, row);
}

void ConvertRgb565RowAvx2(const RgbClosedForms& forms, const WideMacroblockRow& row) {
  ConvertMacroblockRow<Rgb565Pixels, __m256i>(forms, row);
}

void ConvertPal8RowAvx2(const DitherPatterns& patterns, const WideMacroblockRow& row) {
  DitherMacroblockRow<__m256i>(patterns, row);
}

}  // namespace kelmar

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

#endif  // KELMAR_HAVE_WIDE
