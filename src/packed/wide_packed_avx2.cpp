// AVX2 paths of the packed writers: 32 pixels per step, 16 for a last odd
// macroblock of a run.
#include "packed/wide_packed.h"

#if KELMAR_HAVE_WIDE

#include <immintrin.h>

#include <cstdint>

KELMAR_TARGET_AVX2_BEGIN

namespace kelmar {
namespace {

// The byte operations the table lookups use, for 256-bit vectors (each
// 128-bit lane with its own half of the slices) and 128-bit vectors.
struct Bytes256 {
  using V = __m256i;
  KELMAR_VECTOR_INLINE static V Load(const uint8_t* p) {
    return _mm256_load_si256(reinterpret_cast<const V*>(p));
  }
  KELMAR_VECTOR_INLINE static V Set8(char value) { return _mm256_set1_epi8(value); }
  KELMAR_VECTOR_INLINE static V Zero() { return _mm256_setzero_si256(); }
  KELMAR_VECTOR_INLINE static V And(V a, V b) { return _mm256_and_si256(a, b); }
  KELMAR_VECTOR_INLINE static V Xor(V a, V b) { return _mm256_xor_si256(a, b); }
  KELMAR_VECTOR_INLINE static V Shuffle(V table, V index) {
    return _mm256_shuffle_epi8(table, index);
  }
  KELMAR_VECTOR_INLINE static V Blend(V a, V b, V mask) { return _mm256_blendv_epi8(a, b, mask); }
  KELMAR_VECTOR_INLINE static V AddsU8(V a, V b) { return _mm256_adds_epu8(a, b); }
  KELMAR_VECTOR_INLINE static V SubsU8(V a, V b) { return _mm256_subs_epu8(a, b); }
  template <int kBits>
  KELMAR_VECTOR_INLINE static V Slli16(V a) {
    return _mm256_slli_epi16(a, kBits);
  }
};

struct Bytes128 {
  using V = __m128i;
  KELMAR_VECTOR_INLINE static V Load(const uint8_t* p) {
    return _mm_load_si128(reinterpret_cast<const V*>(p));
  }
  KELMAR_VECTOR_INLINE static V Set8(char value) { return _mm_set1_epi8(value); }
  KELMAR_VECTOR_INLINE static V Zero() { return _mm_setzero_si128(); }
  KELMAR_VECTOR_INLINE static V And(V a, V b) { return _mm_and_si128(a, b); }
  KELMAR_VECTOR_INLINE static V Xor(V a, V b) { return _mm_xor_si128(a, b); }
  KELMAR_VECTOR_INLINE static V Shuffle(V table, V index) { return _mm_shuffle_epi8(table, index); }
  KELMAR_VECTOR_INLINE static V Blend(V a, V b, V mask) { return _mm_blendv_epi8(a, b, mask); }
  KELMAR_VECTOR_INLINE static V AddsU8(V a, V b) { return _mm_adds_epu8(a, b); }
  KELMAR_VECTOR_INLINE static V SubsU8(V a, V b) { return _mm_subs_epu8(a, b); }
  template <int kBits>
  KELMAR_VECTOR_INLINE static V Slli16(V a) {
    return _mm_slli_epi16(a, kBits);
  }
};

// table[index]: a shuffle of each 16-entry slice by the low four index
// bits, then a tree of blends on bits 4 to 7.  The vectors load each slice
// from byte `half` of its 32 (0 for 256-bit vectors).
template <typename B, typename V = typename B::V>
KELMAR_VECTOR_INLINE V LookupByBlends(const SlicedTables& table, int half, V index) {
  const V low = B::And(index, B::Set8(0x0F));
  V level[16];
  for (int s = 0; s < 16; ++s) level[s] = B::Shuffle(B::Load(table.slice[s] + half), low);
  // Bit b of every index byte moved to the byte's top bit, which the blend
  // tests; 16-bit shifts by less than 8 bring in only lower bits of the same
  // byte below it.
  const V bit4 = B::template Slli16<3>(index);
  for (int s = 0; s < 8; ++s) level[s] = B::Blend(level[2 * s], level[2 * s + 1], bit4);
  const V bit5 = B::template Slli16<2>(index);
  for (int s = 0; s < 4; ++s) level[s] = B::Blend(level[2 * s], level[2 * s + 1], bit5);
  const V bit6 = B::template Slli16<1>(index);
  for (int s = 0; s < 2; ++s) level[s] = B::Blend(level[2 * s], level[2 * s + 1], bit6);
  return B::Blend(level[0], level[1], index);
}

// Left as it stands: the compiler may not regroup the XORs of a chain into
// a tree, whose 16 pending shuffles would spill with 8 registers.
template <typename V>
KELMAR_VECTOR_INLINE void KeepInOrder(V& value) {
  asm("" : "+x"(value));
}

// table[index] over chained slices.  The shuffle of slice s of the index's
// half of the table reads the slice exactly when s is the index's own slice
// or a later one of the half: it selects by index + 0x70 - 16s, whose top
// bit is clear just then and whose low four bits are the index's.  The
// selector starts at index + 0x70 (saturating, so an index of the other
// half stays above 0x80) and steps down by 16 (saturating, never reaching
// zero), which needs two constants and three working registers.
template <typename B, typename V = typename B::V>
KELMAR_VECTOR_INLINE V LookupByChain(const SlicedTables& table, int half, V index) {
  const V start = B::Set8(0x70);
  const V step = B::Set8(16);
  V result = B::Zero();
  for (int part = 0; part < 2; ++part) {
    V select = B::AddsU8(part ? B::Xor(index, B::Set8(-128)) : index, start);
    for (int s = 8 * part; s < 8 * part + 8; ++s) {
      result = B::Xor(result, B::Shuffle(B::Load(table.slice[s] + half), select));
      KeepInOrder(result);
      select = B::SubsU8(select, step);
    }
  }
  return result;
}

template <typename B, typename V = typename B::V>
KELMAR_VECTOR_INLINE V LookupSliced(const SlicedTables& table, int half, V index) {
  return kXorChainedSlices ? LookupByChain<B>(table, half, index)
                           : LookupByBlends<B>(table, half, index);
}

// 32 bytes, each 128-bit lane from its own half of the slices.
KELMAR_VECTOR_INLINE __m256i Lookup(const SlicedTables& table, __m256i index) {
  return LookupSliced<Bytes256>(table, 0, index);
}

// 16 bytes, from the half of the slices at `half` (0 or 16).
KELMAR_VECTOR_INLINE __m128i Lookup(const SlicedTables& table, int half, __m128i index) {
  return LookupSliced<Bytes128>(table, half, index);
}

// Luma bytes with the U V pairs that serve them, in the layout's order.
template <bool kYuy2>
KELMAR_VECTOR_INLINE __m256i InterleaveLow(__m256i uv, __m256i y) {
  return kYuy2 ? _mm256_unpacklo_epi8(y, uv) : _mm256_unpacklo_epi8(uv, y);
}
template <bool kYuy2>
KELMAR_VECTOR_INLINE __m256i InterleaveHigh(__m256i uv, __m256i y) {
  return kYuy2 ? _mm256_unpackhi_epi8(y, uv) : _mm256_unpackhi_epi8(uv, y);
}
template <bool kYuy2>
KELMAR_VECTOR_INLINE __m128i InterleaveLow(__m128i uv, __m128i y) {
  return kYuy2 ? _mm_unpacklo_epi8(y, uv) : _mm_unpacklo_epi8(uv, y);
}
template <bool kYuy2>
KELMAR_VECTOR_INLINE __m128i InterleaveHigh(__m128i uv, __m128i y) {
  return kYuy2 ? _mm_unpackhi_epi8(y, uv) : _mm_unpackhi_epi8(uv, y);
}

// One output row of 32 pixels; `uv` holds the pairs of pixels 0-15 in its
// low lane and 16-31 in its high lane.
template <bool kYuy2, bool kMapLuma>
KELMAR_VECTOR_INLINE void PackRow32(const PackedJob& job, const uint8_t* y, __m256i uv,
                                    uint8_t* out) {
  __m256i luma = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(y));
  if (kMapLuma) luma = Lookup(job.tables->lookups.luma, luma);
  const __m256i low = InterleaveLow<kYuy2>(uv, luma);    // pixels 0-7, 16-23
  const __m256i high = InterleaveHigh<kYuy2>(uv, luma);  // pixels 8-15, 24-31
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_permute2x128_si256(low, high, 0x20));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 32),
                      _mm256_permute2x128_si256(low, high, 0x31));
}

template <bool kYuy2, bool kMapLuma, bool kMapChroma>
KELMAR_VECTOR_INLINE void PackRowPair32(const PackedJob& job, const uint8_t* y0, const uint8_t* y1,
                                        const uint8_t* u, const uint8_t* v, uint8_t* out0,
                                        uint8_t* out1) {
  __m128i us = _mm_loadu_si128(reinterpret_cast<const __m128i*>(u));
  __m128i vs = _mm_loadu_si128(reinterpret_cast<const __m128i*>(v));
  if (kMapChroma) {
    // U in the low lane, V in the high one, each with its own table.
    const __m256i mapped = Lookup(job.tables->lookups.chroma,
                                  _mm256_inserti128_si256(_mm256_castsi128_si256(us), vs, 1));
    us = _mm256_castsi256_si128(mapped);
    vs = _mm256_extracti128_si256(mapped, 1);
  }
  const __m256i uv = _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_unpacklo_epi8(us, vs)),
                                             _mm_unpackhi_epi8(us, vs), 1);
  PackRow32<kYuy2, kMapLuma>(job, y0, uv, out0);
  PackRow32<kYuy2, kMapLuma>(job, y1, uv, out1);
}

template <bool kYuy2, bool kMapLuma>
KELMAR_VECTOR_INLINE void PackRow16(const PackedJob& job, const uint8_t* y, __m128i uv,
                                    uint8_t* out) {
  __m128i luma = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y));
  if (kMapLuma) luma = Lookup(job.tables->lookups.luma, 0, luma);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), InterleaveLow<kYuy2>(uv, luma));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), InterleaveHigh<kYuy2>(uv, luma));
}

template <bool kYuy2, bool kMapLuma, bool kMapChroma>
KELMAR_VECTOR_INLINE void PackRowPair16(const PackedJob& job, const uint8_t* y0, const uint8_t* y1,
                                        const uint8_t* u, const uint8_t* v, uint8_t* out0,
                                        uint8_t* out1) {
  __m128i us = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(u));
  __m128i vs = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(v));
  if (kMapChroma) {
    us = Lookup(job.tables->lookups.chroma, 0, us);
    vs = Lookup(job.tables->lookups.chroma, 16, vs);
  }
  const __m128i uv = _mm_unpacklo_epi8(us, vs);
  PackRow16<kYuy2, kMapLuma>(job, y0, uv, out0);
  PackRow16<kYuy2, kMapLuma>(job, y1, uv, out1);
}

template <bool kYuy2, bool kMapLuma, bool kMapChroma>
void PackRun(const PackedJob& job, const PackedRun& run) {
  for (int pair = 0; pair < 8; ++pair) {
    const auto [y0, y1, u, v, out0, out1] = RowPairOfPackedRun(run, pair);
    ptrdiff_t c = 0;
    for (; c + 2 <= run.macroblocks; c += 2)
      PackRowPair32<kYuy2, kMapLuma, kMapChroma>(job, y0 + 16 * c, y1 + 16 * c, u + 8 * c,
                                                 v + 8 * c, out0 + 32 * c, out1 + 32 * c);
    if (c < run.macroblocks)
      PackRowPair16<kYuy2, kMapLuma, kMapChroma>(job, y0 + 16 * c, y1 + 16 * c, u + 8 * c,
                                                 v + 8 * c, out0 + 32 * c, out1 + 32 * c);
  }
}

template <bool kYuy2, bool kMapLuma, bool kMapChroma>
void PackRuns(const PackedJob& job, const PackedPicture& picture) {
  ForEachPackedRun(picture,
                   [&](const PackedRun& run) { PackRun<kYuy2, kMapLuma, kMapChroma>(job, run); });
}

template <bool kYuy2>
void PackInOrder(const PackedJob& job, const PackedPicture& picture) {
  const PackedLookups* lookups = job.tables ? &job.tables->lookups : nullptr;
  if (lookups && lookups->mapLuma) {
    if (lookups->mapChroma) return PackRuns<kYuy2, true, true>(job, picture);
    return PackRuns<kYuy2, true, false>(job, picture);
  }
  if (lookups && lookups->mapChroma) return PackRuns<kYuy2, false, true>(job, picture);
  PackRuns<kYuy2, false, false>(job, picture);
}

}  // namespace

void PackPictureAvx2(const PackedJob& job, const PackedPicture& picture) {
  if (job.yuy2)
    PackInOrder<true>(job, picture);
  else
    PackInOrder<false>(job, picture);
}

}  // namespace kelmar

KELMAR_TARGET_END

#endif  // KELMAR_HAVE_WIDE
