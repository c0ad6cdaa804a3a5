// AVX2 paths of the packed writers: 32 pixels per step, 16 for a last odd
// macroblock of a run.
#include "packed/wide_packed.h"

#if KELMAR_HAVE_WIDE

#include <immintrin.h>

#include <cstdint>

KELMAR_TARGET_AVX2_BEGIN

namespace kelmar {
namespace {

// table[index] for 32 bytes: a shuffle of each 16-entry slice by the low
// four index bits, then a tree of blends on bits 4 to 7.  Each 128-bit lane
// uses its own half of the slices.
KELMAR_VECTOR_INLINE __m256i LookupByBlends(const SlicedTables& table, __m256i index) {
  const __m256i low = _mm256_and_si256(index, _mm256_set1_epi8(0x0F));
  __m256i level[16];
  for (int s = 0; s < 16; ++s)
    level[s] = _mm256_shuffle_epi8(
        _mm256_load_si256(reinterpret_cast<const __m256i*>(table.slice[s])), low);
  // Bit b of every index byte moved to the byte's top bit, which the blend
  // tests; 16-bit shifts by less than 8 bring in only lower bits of the same
  // byte below it.
  const __m256i bit4 = _mm256_slli_epi16(index, 3);
  for (int s = 0; s < 8; ++s) level[s] = _mm256_blendv_epi8(level[2 * s], level[2 * s + 1], bit4);
  const __m256i bit5 = _mm256_slli_epi16(index, 2);
  for (int s = 0; s < 4; ++s) level[s] = _mm256_blendv_epi8(level[2 * s], level[2 * s + 1], bit5);
  const __m256i bit6 = _mm256_slli_epi16(index, 1);
  for (int s = 0; s < 2; ++s) level[s] = _mm256_blendv_epi8(level[2 * s], level[2 * s + 1], bit6);
  return _mm256_blendv_epi8(level[0], level[1], index);
}

// Left as it stands: the compiler may not regroup the XORs of a chain into
// a tree, whose 16 pending shuffles would spill with 8 registers.
template <typename V>
KELMAR_VECTOR_INLINE void KeepInOrder(V& value) {
  asm("" : "+x"(value));
}

// table[index] for 32 bytes over chained slices.  The shuffle of slice s of
// the index's half reads the slice exactly when s is the index's own slice
// or a later one of the half: it selects by index + 0x70 - 16s, whose top
// bit is clear just then and whose low four bits are the index's.  The
// selector starts at index + 0x70 (saturating, so an index of the other
// half stays above 0x80) and steps down by 16 (saturating, never reaching
// zero), which needs two constants and three working registers.
KELMAR_VECTOR_INLINE __m256i LookupByChain(const SlicedTables& table, __m256i index) {
  const __m256i start = _mm256_set1_epi8(0x70);
  const __m256i step = _mm256_set1_epi8(16);
  __m256i result = _mm256_setzero_si256();
  for (int half = 0; half < 2; ++half) {
    const __m256i halfIndex = half ? _mm256_xor_si256(index, _mm256_set1_epi8(-128)) : index;
    __m256i select = _mm256_adds_epu8(halfIndex, start);
    for (int s = 8 * half; s < 8 * half + 8; ++s) {
      const __m256i slice = _mm256_load_si256(reinterpret_cast<const __m256i*>(table.slice[s]));
      result = _mm256_xor_si256(result, _mm256_shuffle_epi8(slice, select));
      KeepInOrder(result);
      select = _mm256_subs_epu8(select, step);
    }
  }
  return result;
}

KELMAR_VECTOR_INLINE __m256i Lookup(const SlicedTables& table, __m256i index) {
  return kXorChainedSlices ? LookupByChain(table, index) : LookupByBlends(table, index);
}

// The same for 16 bytes, with the half of the slices at `half` (0 or 16).
KELMAR_VECTOR_INLINE __m128i LookupByBlends(const SlicedTables& table, int half, __m128i index) {
  const __m128i low = _mm_and_si128(index, _mm_set1_epi8(0x0F));
  __m128i level[16];
  for (int s = 0; s < 16; ++s)
    level[s] = _mm_shuffle_epi8(
        _mm_load_si128(reinterpret_cast<const __m128i*>(table.slice[s] + half)), low);
  const __m128i bit4 = _mm_slli_epi16(index, 3);
  for (int s = 0; s < 8; ++s) level[s] = _mm_blendv_epi8(level[2 * s], level[2 * s + 1], bit4);
  const __m128i bit5 = _mm_slli_epi16(index, 2);
  for (int s = 0; s < 4; ++s) level[s] = _mm_blendv_epi8(level[2 * s], level[2 * s + 1], bit5);
  const __m128i bit6 = _mm_slli_epi16(index, 1);
  for (int s = 0; s < 2; ++s) level[s] = _mm_blendv_epi8(level[2 * s], level[2 * s + 1], bit6);
  return _mm_blendv_epi8(level[0], level[1], index);
}

KELMAR_VECTOR_INLINE __m128i LookupByChain(const SlicedTables& table, int half, __m128i index) {
  const __m128i start = _mm_set1_epi8(0x70);
  const __m128i step = _mm_set1_epi8(16);
  __m128i result = _mm_setzero_si128();
  for (int part = 0; part < 2; ++part) {
    const __m128i partIndex = part ? _mm_xor_si128(index, _mm_set1_epi8(-128)) : index;
    __m128i select = _mm_adds_epu8(partIndex, start);
    for (int s = 8 * part; s < 8 * part + 8; ++s) {
      const __m128i slice = _mm_load_si128(reinterpret_cast<const __m128i*>(table.slice[s] + half));
      result = _mm_xor_si128(result, _mm_shuffle_epi8(slice, select));
      KeepInOrder(result);
      select = _mm_subs_epu8(select, step);
    }
  }
  return result;
}

KELMAR_VECTOR_INLINE __m128i Lookup(const SlicedTables& table, int half, __m128i index) {
  return kXorChainedSlices ? LookupByChain(table, half, index) : LookupByBlends(table, half, index);
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
KELMAR_VECTOR_INLINE void PackRow32(const WidePacker& packer, const uint8_t* y, __m256i uv,
                                    uint8_t* out) {
  __m256i luma = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(y));
  if (kMapLuma) luma = Lookup(packer.tables->lookups.luma, luma);
  const __m256i low = InterleaveLow<kYuy2>(uv, luma);    // pixels 0-7, 16-23
  const __m256i high = InterleaveHigh<kYuy2>(uv, luma);  // pixels 8-15, 24-31
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_permute2x128_si256(low, high, 0x20));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 32),
                      _mm256_permute2x128_si256(low, high, 0x31));
}

template <bool kYuy2, bool kMapLuma, bool kMapChroma>
KELMAR_VECTOR_INLINE void PackRowPair32(const WidePacker& packer, const uint8_t* y0,
                                        const uint8_t* y1, const uint8_t* u, const uint8_t* v,
                                        uint8_t* outA, uint8_t* outB) {
  __m128i us = _mm_loadu_si128(reinterpret_cast<const __m128i*>(u));
  __m128i vs = _mm_loadu_si128(reinterpret_cast<const __m128i*>(v));
  if (kMapChroma) {
    // U in the low lane, V in the high one, each with its own table.
    const __m256i mapped = Lookup(packer.tables->lookups.chroma,
                                  _mm256_inserti128_si256(_mm256_castsi128_si256(us), vs, 1));
    us = _mm256_castsi256_si128(mapped);
    vs = _mm256_extracti128_si256(mapped, 1);
  }
  const __m256i uv = _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_unpacklo_epi8(us, vs)),
                                             _mm_unpackhi_epi8(us, vs), 1);
  PackRow32<kYuy2, kMapLuma>(packer, y0, uv, outA);
  PackRow32<kYuy2, kMapLuma>(packer, y1, uv, outB);
}

template <bool kYuy2, bool kMapLuma>
KELMAR_VECTOR_INLINE void PackRow16(const WidePacker& packer, const uint8_t* y, __m128i uv,
                                    uint8_t* out) {
  __m128i luma = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y));
  if (kMapLuma) luma = Lookup(packer.tables->lookups.luma, 0, luma);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), InterleaveLow<kYuy2>(uv, luma));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), InterleaveHigh<kYuy2>(uv, luma));
}

template <bool kYuy2, bool kMapLuma, bool kMapChroma>
KELMAR_VECTOR_INLINE void PackRowPair16(const WidePacker& packer, const uint8_t* y0,
                                        const uint8_t* y1, const uint8_t* u, const uint8_t* v,
                                        uint8_t* outA, uint8_t* outB) {
  __m128i us = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(u));
  __m128i vs = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(v));
  if (kMapChroma) {
    us = Lookup(packer.tables->lookups.chroma, 0, us);
    vs = Lookup(packer.tables->lookups.chroma, 16, vs);
  }
  const __m128i uv = _mm_unpacklo_epi8(us, vs);
  PackRow16<kYuy2, kMapLuma>(packer, y0, uv, outA);
  PackRow16<kYuy2, kMapLuma>(packer, y1, uv, outB);
}

template <bool kYuy2, bool kMapLuma, bool kMapChroma>
void PackRun(const WidePacker& packer, const PackedRun& run) {
  for (int pair = 0; pair < 8; ++pair) {
    const auto [y0, y1, u, v, outA, outB] = RowPairOfPackedRun(run, pair);
    int32_t c = 0;
    for (; c + 2 <= run.macroblocks; c += 2)
      PackRowPair32<kYuy2, kMapLuma, kMapChroma>(packer, y0 + 16 * c, y1 + 16 * c, u + 8 * c,
                                                 v + 8 * c, outA + 32 * c, outB + 32 * c);
    if (c < run.macroblocks)
      PackRowPair16<kYuy2, kMapLuma, kMapChroma>(packer, y0 + 16 * c, y1 + 16 * c, u + 8 * c,
                                                 v + 8 * c, outA + 32 * c, outB + 32 * c);
  }
}

template <bool kYuy2, bool kMapLuma, bool kMapChroma>
void PackRuns(const WidePacker& packer, const PackedPicture& picture) {
  ForEachPackedRun(
      picture, [&](const PackedRun& run) { PackRun<kYuy2, kMapLuma, kMapChroma>(packer, run); });
}

template <bool kYuy2>
void PackInOrder(const WidePacker& packer, const PackedPicture& picture) {
  const PackedLookups* lookups = packer.tables ? &packer.tables->lookups : nullptr;
  if (lookups && lookups->mapLuma) {
    if (lookups->mapChroma) return PackRuns<kYuy2, true, true>(packer, picture);
    return PackRuns<kYuy2, true, false>(packer, picture);
  }
  if (lookups && lookups->mapChroma) return PackRuns<kYuy2, false, true>(packer, picture);
  PackRuns<kYuy2, false, false>(packer, picture);
}

}  // namespace

void PackPictureAvx2(const WidePacker& packer, const PackedPicture& picture) {
  if (packer.yuy2)
    PackInOrder<true>(packer, picture);
  else
    PackInOrder<false>(packer, picture);
}

}  // namespace kelmar

KELMAR_TARGET_END

#endif  // KELMAR_HAVE_WIDE
