// AVX2 paths of the packed writers: 32 pixels per step, 16 for a last odd
// macroblock of a run.  Adjusted samples are computed from the tables' forms
// by halves or their ramps or, for tables with neither, looked up by byte
// shuffles.
#include "packed/wide_packed.h"

#if KELMAR_HAVE_WIDE

#include <immintrin.h>

#include <cstdint>

KELMAR_TARGET_AVX2_BEGIN

#include "packed/packed_ramps_x86.h"
#include "packed/packed_shuffles_x86.h"
#include "packed/wide_packed_core.h"

namespace kelmar {
namespace {

// The byte operations of Bytes128 for 256-bit vectors, each 128-bit lane
// with its own half of the slices.
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
  KELMAR_VECTOR_INLINE static V Add8(V a, V b) { return _mm256_add_epi8(a, b); }
  KELMAR_VECTOR_INLINE static V CmpGt8(V a, V b) { return _mm256_cmpgt_epi8(a, b); }
  template <int kBits>
  KELMAR_VECTOR_INLINE static V Slli16(V a) {
    return _mm256_slli_epi16(a, kBits);
  }
  template <int kBits>
  KELMAR_VECTOR_INLINE static V Srli16(V a) {
    return _mm256_srli_epi16(a, kBits);
  }
  // Per byte: the 16-bit shift's bits from the next byte masked off.
  template <int kBits>
  KELMAR_VECTOR_INLINE static V ShiftRight8(V a) {
    return And(Srli16<kBits>(a), Set8(static_cast<char>(0xFF >> kBits)));
  }
};

// 32 bytes, each 128-bit lane from its own half of the slices.
KELMAR_VECTOR_INLINE __m256i Lookup(const SlicedTables& table, __m256i index) {
  return LookupSliced<Bytes256>(table, 0, index);
}

// 16 bytes, from the half of the slices at `half` (0 or 16).
KELMAR_VECTOR_INLINE __m128i Lookup(const SlicedTables& table, int half, __m128i index) {
  return LookupSliced<Bytes128>(table, half, index);
}

KELMAR_VECTOR_INLINE __m256i LoadRampVector(const void* p) {
  return _mm256_load_si256(static_cast<const __m256i*>(p));
}

// The words of a ramp for one vector of 256 * d + fine.
template <RampRounding kRounding>
KELMAR_VECTOR_INLINE __m256i RampWords(__m256i a, const RampVectors& ramp, __m128i count) {
  const __m256i y = _mm256_adds_epi16(_mm256_mulhi_epi16(a, LoadRampVector(ramp.scale)),
                                      LoadRampVector(ramp.offset));
  // Less the mask of a's sign: one more below the middle.
  if (kRounding == RampRounding::kBelowMiddle)
    return _mm256_subs_epi16(_mm256_sra_epi16(y, count), _mm256_srai_epi16(a, 15));
  const __m256i toward =
      _mm256_and_si256(_mm256_srai_epi16(y, 15), LoadRampVector(ramp.towardZero));
  return _mm256_adds_epi16(_mm256_sra_epi16(_mm256_add_epi16(y, toward), count),
                           LoadRampVector(ramp.lift));
}

// 32 samples through two ramps, one per 128-bit lane (or one ramp twice).
template <RampRounding kRounding>
KELMAR_VECTOR_INLINE __m256i ComputeRamp(const RampVectors& ramp, int shift, __m256i samples) {
  const __m256i d = _mm256_xor_si256(samples, _mm256_set1_epi8(-128));
  const __m256i fines = LoadRampVector(ramp.fine);
  const __m128i count = _mm_cvtsi32_si128(shift);
  __m256i entries =
      _mm256_packus_epi16(RampWords<kRounding>(_mm256_unpacklo_epi8(fines, d), ramp, count),
                          RampWords<kRounding>(_mm256_unpackhi_epi8(fines, d), ramp, count));
  if (ramp.corrected) {
    for (int k = 0; k < kRampCorrections; ++k) {
      const __m256i hit = _mm256_cmpeq_epi8(samples, LoadRampVector(ramp.correctAt[k]));
      entries = _mm256_add_epi8(entries, _mm256_and_si256(hit, LoadRampVector(ramp.correctBy[k])));
    }
  }
  return entries;
}

// Luma bytes with the U V pairs that serve them, in the layout's order.
template <bool kYuy2, typename V>
KELMAR_VECTOR_INLINE V InterleaveLow(V uv, V y) {
  if constexpr (sizeof(V) == 32)
    return kYuy2 ? _mm256_unpacklo_epi8(y, uv) : _mm256_unpacklo_epi8(uv, y);
  else
    return kYuy2 ? _mm_unpacklo_epi8(y, uv) : _mm_unpacklo_epi8(uv, y);
}
template <bool kYuy2, typename V>
KELMAR_VECTOR_INLINE V InterleaveHigh(V uv, V y) {
  if constexpr (sizeof(V) == 32)
    return kYuy2 ? _mm256_unpackhi_epi8(y, uv) : _mm256_unpackhi_epi8(uv, y);
  else
    return kYuy2 ? _mm_unpackhi_epi8(y, uv) : _mm_unpackhi_epi8(uv, y);
}

// A run's last odd macroblock: 16 pixels in 128-bit registers.
struct Avx2HalfPacker {
  static constexpr int kMacroblocksPerStep = 1;
  using Tail = Avx2HalfPacker;
  using Pairs = __m128i;

  template <SampleMap kChroma>
  KELMAR_VECTOR_INLINE static Pairs LoadPairs(const PackedJob& job, const uint8_t* u,
                                              const uint8_t* v) {
    __m128i us = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(u));
    __m128i vs = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(v));
    if (kChroma == SampleMap::kTables) {
      us = Lookup(job.tables->lookups.chroma, 0, us);
      vs = Lookup(job.tables->lookups.chroma, 16, vs);
    }
    if constexpr (IsRamp(kChroma)) {
      const __m128i mapped =
          ComputeChromaRamps<RoundingOf(kChroma)>(job.tables->lookups, _mm_unpacklo_epi64(us, vs));
      return _mm_unpacklo_epi8(mapped, _mm_unpackhi_epi64(mapped, mapped));
    }
    if (IsNibbles(kChroma)) {
      // U in the low lane, V in the high one, each with its own tables.
      const __m256i mapped = LookupByNibbles<Bytes256, LowersOf(kChroma)>(
          job.tables->lookups.chromaNibbles, 0,
          _mm256_inserti128_si256(_mm256_castsi128_si256(us), vs, 1));
      us = _mm256_castsi256_si128(mapped);
      vs = _mm256_extracti128_si256(mapped, 1);
    }
    return _mm_unpacklo_epi8(us, vs);
  }

  template <bool kYuy2, SampleMap kLuma>
  KELMAR_VECTOR_INLINE static void PackRow(const PackedJob& job, const uint8_t* y, Pairs uv,
                                           uint8_t* out) {
    __m128i luma = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y));
    if (kLuma == SampleMap::kTables) luma = Lookup(job.tables->lookups.luma, 0, luma);
    if (IsNibbles(kLuma))
      luma = LookupByNibbles<Bytes128, LowersOf(kLuma)>(job.tables->lookups.lumaNibbles, 0, luma);
    if constexpr (IsRamp(kLuma))
      luma = ComputeLumaRamp<RoundingOf(kLuma)>(job.tables->lookups, luma);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), InterleaveLow<kYuy2>(uv, luma));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), InterleaveHigh<kYuy2>(uv, luma));
  }
};

// 32 pixels, two macroblocks, per step.
struct Avx2Packer {
  static constexpr int kMacroblocksPerStep = 2;
  static constexpr bool kLumaByNibbles = true;
  static constexpr bool kChromaByNibbles = true;
  static constexpr bool kChromaInOneTable = false;  // each lane has its own
  using Tail = Avx2HalfPacker;
  // The U V pairs in the order that a byte unpack with the luma samples
  // (PackRow) puts pixels in: those of pixels 0-7 and 16-23 in the low
  // lane, of 8-15 and 24-31 in the high one.
  using Pairs = __m256i;

  template <SampleMap kChroma>
  KELMAR_VECTOR_INLINE static Pairs LoadPairs(const PackedJob& job, const uint8_t* u,
                                              const uint8_t* v) {
    // U in the low lane, V in the high one, each mapped by its own table.
    __m256i both = _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(u))),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(v)), 1);
    if (kChroma != SampleMap::kCopy) {
      const PackedLookups& lookups = job.tables->lookups;
      if constexpr (IsRamp(kChroma))
        both =
            ComputeRamp<RoundingOf(kChroma)>(lookups.chromaRamp, lookups.chromaShape.shift, both);
      else if (IsNibbles(kChroma))
        both = LookupByNibbles<Bytes256, LowersOf(kChroma)>(lookups.chromaNibbles, 0, both);
      else
        both = Lookup(lookups.chroma, both);
    }
    // Samples 0-3 and 8-11 of U and of V to the low lane, 4-7 and 12-15 to
    // the high one, then each U beside its V.
    const __m256i quarters =
        _mm256_permutevar8x32_epi32(both, _mm256_setr_epi32(0, 4, 2, 6, 1, 5, 3, 7));
    const __m128i pairUp = _mm_setr_epi8(0, 4, 1, 5, 2, 6, 3, 7, 8, 12, 9, 13, 10, 14, 11, 15);
    return _mm256_shuffle_epi8(quarters, _mm256_broadcastsi128_si256(pairUp));
  }

  template <bool kYuy2, SampleMap kLuma>
  KELMAR_VECTOR_INLINE static void PackRow(const PackedJob& job, const uint8_t* y, Pairs uv,
                                           uint8_t* out) {
    // Samples 0-7 and 16-23 in the low lane, 8-15 and 24-31 in the high
    // one, so that the unpacks give pixels 0-15 and 16-31.
    __m256i luma =
        _mm256_permute4x64_epi64(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(y)), 0xD8);
    if (kLuma == SampleMap::kTables) luma = Lookup(job.tables->lookups.luma, luma);
    if (IsNibbles(kLuma))
      luma = LookupByNibbles<Bytes256, LowersOf(kLuma)>(job.tables->lookups.lumaNibbles, 0, luma);
    if constexpr (IsRamp(kLuma)) {
      const PackedLookups& lookups = job.tables->lookups;
      luma = ComputeRamp<RoundingOf(kLuma)>(lookups.lumaRamp, lookups.lumaShape.shift, luma);
    }
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), InterleaveLow<kYuy2>(uv, luma));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 32), InterleaveHigh<kYuy2>(uv, luma));
  }
};

}  // namespace

void PackPictureAvx2(const PackedJob& job, const PackedPicture& picture) {
  PackPicture<Avx2Packer>(job, picture);
}

}  // namespace kelmar

KELMAR_TARGET_END

#endif  // KELMAR_HAVE_WIDE
