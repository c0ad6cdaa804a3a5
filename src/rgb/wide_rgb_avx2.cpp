// AVX2 vector paths of the RGB converters: 32 pixels per step; the last odd
// macroblock of a run goes two row pairs per step, one in each lane.
#include "rgb/wide_rgb.h"

#if KELMAR_HAVE_WIDE

#include <immintrin.h>

#include <cstdint>

KELMAR_TARGET_AVX2_BEGIN

#include "rgb/bgr_shuffle.h"
#include "rgb/wide_dither_core.h"
#include "rgb/wide_rgb_core.h"

namespace kelmar {
namespace {

// InterleaveBgr in each 128-bit lane.
struct BgrParts256 {
  __m256i part[3];
};
KELMAR_VECTOR_INLINE BgrParts256 InterleaveBgr(__m256i b, __m256i g, __m256i r) {
  const __m256i low = _mm256_unpacklo_epi8(b, g);
  const __m256i high = _mm256_unpackhi_epi8(b, g);
  const __m256i windows[3] = {low, _mm256_alignr_epi8(high, low, 2 * kBgrPairWindow[1]), high};
  BgrParts256 parts;
  for (int k = 0; k < 3; ++k)
    parts.part[k] = _mm256_or_si256(
        _mm256_shuffle_epi8(windows[k], _mm256_broadcastsi128_si256(PairShuffle(k))),
        _mm256_shuffle_epi8(r, _mm256_broadcastsi128_si256(RedShuffle(k))));
  return parts;
}

KELMAR_VECTOR_INLINE __m128i LowLane(__m256i a) { return _mm256_castsi256_si128(a); }
KELMAR_VECTOR_INLINE __m128i HighLane(__m256i a) { return _mm256_extracti128_si256(a, 1); }
KELMAR_VECTOR_INLINE __m256i JoinLanes(__m128i low, __m128i high) {
  return _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1);
}

// The 128-bit loads and stores of one lane, for the rows of TwoRows.
struct Lane {
  static __m128i LoadLuma(const uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  }
  static __m128i LoadChroma16(const uint8_t* p) {
    return _mm_cvtepu8_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)));
  }
  static __m128i LoadChromaPairs(const uint8_t* p) {
    const __m128i samples = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
    return _mm_unpacklo_epi8(samples, samples);
  }
  static void StoreBytes(uint8_t* out, __m128i a) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), a);
  }
  static void StoreWords(uint8_t* out, __m128i low, __m128i high) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), low);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), high);
  }
  KELMAR_VECTOR_INLINE static void StoreBgr24(uint8_t* out, __m128i b, __m128i g, __m128i r) {
    const BgrParts128 parts = InterleaveBgr(b, g, r);
    for (int k = 0; k < 3; ++k)
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16 * k), parts.part[k]);
  }
};

// The AVX2 primitives of the vector kernels: 32 pixels, two macroblock rows,
// per step; or, with TwoRows, two row pairs of one macroblock, one per lane.
struct Avx2 : BytesFromWords<Avx2> {
  using Vec = __m256i;
  static constexpr int kMacroblocksPerStep = 2;

  static Vec Zero() { return _mm256_setzero_si256(); }
  static Vec Set8(char v) { return _mm256_set1_epi8(v); }
  static Vec Set16(int16_t v) { return _mm256_set1_epi16(v); }
  static Vec Set32(int32_t v) { return _mm256_set1_epi32(v); }
  // `low` repeated in the low lane, `high` in the high one.
  static Vec SetLanes32(uint32_t low, uint32_t high) {
    return JoinLanes(_mm_set1_epi32(static_cast<int>(low)), _mm_set1_epi32(static_cast<int>(high)));
  }
  static Vec Add16(Vec a, Vec b) { return _mm256_add_epi16(a, b); }
  static Vec Sub16(Vec a, Vec b) { return _mm256_sub_epi16(a, b); }
  static Vec Mullo16(Vec a, Vec b) { return _mm256_mullo_epi16(a, b); }
  static Vec MulhiU16(Vec a, Vec b) { return _mm256_mulhi_epu16(a, b); }
  // A true comparison is -1 in its lane.
  static Vec PlusOneWhereGreater16(Vec x, Vec a, Vec b) {
    return Sub16(x, _mm256_cmpgt_epi16(a, b));
  }
  static Vec PlusOneWhereEqual16(Vec x, Vec a, Vec b) { return Sub16(x, _mm256_cmpeq_epi16(a, b)); }
  static Vec MinusOneWhereEqual16(Vec x, Vec a, Vec b) {
    return Add16(x, _mm256_cmpeq_epi16(a, b));
  }
  static Vec PlusOneWhereEqual8(Vec x, Vec a, Vec b) {
    return _mm256_sub_epi8(x, _mm256_cmpeq_epi8(a, b));
  }
  static Vec MinusOneWhereEqual8(Vec x, Vec a, Vec b) {
    return _mm256_add_epi8(x, _mm256_cmpeq_epi8(a, b));
  }
  static Vec Max16(Vec a, Vec b) { return _mm256_max_epi16(a, b); }
  static Vec Min16(Vec a, Vec b) { return _mm256_min_epi16(a, b); }
  static Vec Abs16(Vec a) { return _mm256_abs_epi16(a); }
  static Vec Sign16(Vec magnitude, Vec x) { return _mm256_sign_epi16(magnitude, x); }
  static Vec And(Vec a, Vec b) { return _mm256_and_si256(a, b); }
  static Vec Or(Vec a, Vec b) { return _mm256_or_si256(a, b); }
  template <int n>
  static Vec Srli16(Vec a) {
    return _mm256_srli_epi16(a, n);
  }
  template <int n>
  static Vec Slli16(Vec a) {
    return _mm256_slli_epi16(a, n);
  }
  static Vec UnpackLo8(Vec a, Vec b) { return _mm256_unpacklo_epi8(a, b); }
  static Vec UnpackHi8(Vec a, Vec b) { return _mm256_unpackhi_epi8(a, b); }
  static Vec UnpackLo16(Vec a, Vec b) { return _mm256_unpacklo_epi16(a, b); }
  static Vec UnpackHi16(Vec a, Vec b) { return _mm256_unpackhi_epi16(a, b); }
  static Vec PackUS16(Vec a, Vec b) { return _mm256_packus_epi16(a, b); }
  static Vec Shuffle(Vec table, Vec index) { return _mm256_shuffle_epi8(table, index); }
  static Vec LoadBytes16(const uint8_t* p) {
    return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
  }
  static Vec CmpGt8(Vec a, Vec b) { return _mm256_cmpgt_epi8(a, b); }
  static Vec Add8(Vec a, Vec b) { return _mm256_add_epi8(a, b); }
  static Vec AddsU8(Vec a, Vec b) { return _mm256_adds_epu8(a, b); }
  static Vec SubsU8(Vec a, Vec b) { return _mm256_subs_epu8(a, b); }
  static Vec MaxU8(Vec a, Vec b) { return _mm256_max_epu8(a, b); }

  static Vec LoadLuma(const uint8_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const Vec*>(p));
  }
  static Vec LoadChroma16(const uint8_t* p) {
    return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
  }
  // Chroma samples 0-15, each twice: 0-7 in the low lane, 8-15 in the high one.
  // The 16 samples in both lanes, each lane's shuffle doubling its half.
  static Vec LoadChromaPairs(const uint8_t* p) {
    const Vec samples =
        _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
    const Vec doubled = _mm256_setr_epi8(0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9,
                                         10, 10, 11, 11, 12, 12, 13, 13, 14, 14, 15, 15);
    return _mm256_shuffle_epi8(samples, doubled);
  }
  static Vec LoadLuma(TwoRows p) {
    return JoinLanes(Lane::LoadLuma(p.low), Lane::LoadLuma(p.high));
  }
  static Vec LoadChroma16(TwoRows p) {
    return JoinLanes(Lane::LoadChroma16(p.low), Lane::LoadChroma16(p.high));
  }
  static Vec LoadChromaPairs(TwoRows p) {
    return JoinLanes(Lane::LoadChromaPairs(p.low), Lane::LoadChromaPairs(p.high));
  }

  static void StoreBytes(uint8_t* out, Vec a) {
    _mm256_storeu_si256(reinterpret_cast<Vec*>(out), a);
  }
  // `low` holds pixels 0-7 and 16-23, `high` pixels 8-15 and 24-31.
  static void StoreWords(uint8_t* out, Vec low, Vec high) {
    _mm256_storeu_si256(reinterpret_cast<Vec*>(out), _mm256_permute2x128_si256(low, high, 0x20));
    _mm256_storeu_si256(reinterpret_cast<Vec*>(out + 32),
                        _mm256_permute2x128_si256(low, high, 0x31));
  }
  // Each 128-bit lane holds 16 pixels: lane 0 the first 48 output bytes,
  // lane 1 the next 48.
  KELMAR_VECTOR_INLINE static void StoreBgr24(uint8_t* out, Vec b, Vec g, Vec r) {
    const BgrParts256 parts = InterleaveBgr(b, g, r);
    const Vec p0 = parts.part[0];
    const Vec p1 = parts.part[1];
    const Vec p2 = parts.part[2];
    _mm256_storeu_si256(reinterpret_cast<Vec*>(out), _mm256_permute2x128_si256(p0, p1, 0x20));
    _mm256_storeu_si256(reinterpret_cast<Vec*>(out + 32), _mm256_permute2x128_si256(p2, p0, 0x30));
    _mm256_storeu_si256(reinterpret_cast<Vec*>(out + 64), _mm256_permute2x128_si256(p1, p2, 0x31));
  }
  static void StoreBytes(TwoOutputRows out, Vec a) {
    Lane::StoreBytes(out.low, LowLane(a));
    Lane::StoreBytes(out.high, HighLane(a));
  }
  static void StoreWords(TwoOutputRows out, Vec low, Vec high) {
    Lane::StoreWords(out.low, LowLane(low), LowLane(high));
    Lane::StoreWords(out.high, HighLane(low), HighLane(high));
  }
  KELMAR_VECTOR_INLINE static void StoreBgr24(TwoOutputRows out, Vec b, Vec g, Vec r) {
    Lane::StoreBgr24(out.low, LowLane(b), LowLane(g), LowLane(r));
    Lane::StoreBgr24(out.high, HighLane(b), HighLane(g), HighLane(r));
  }
};

}  // namespace

const WideRgbKernels kAvx2RgbKernels = {
    FormKernelFor<Avx2>,   HalvesKernelFor<Avx2>, nullptr, DoubledKernelFor<Avx2>, nullptr,
    DitherKernelFor<Avx2>,
};

}  // namespace kelmar

KELMAR_TARGET_END

#endif  // KELMAR_HAVE_WIDE
