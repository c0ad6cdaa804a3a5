// The 128-bit packed writer for processors without AVX2 (SSE2, SSSE3).
// Included by each instruction-set file after it has switched the
// compiler's target; everything here has internal linkage.
#pragma once

#include <emmintrin.h>

#include <cstdint>

#include "packed/packed_ramps_x86.h"
#include "packed/packed_shuffles_x86.h"
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

// The SSE2 and SSSE3 writers: 16 pixels per step, the samples copied,
// computed, or looked up one at a time, and interleaved 16 bytes at a time.
// With byte shuffles (SSSE3) they also compute luma from its table's form by
// halves, and U and V where their tables are alike (one 16-entry shuffle
// serves a vector, and the ramps compute two tables in one).
template <bool kShufflesBytes>
struct SsePacker {
  static constexpr int kMacroblocksPerStep = 1;
  static constexpr bool kLumaByNibbles = kShufflesBytes;
  static constexpr bool kChromaByNibbles = kShufflesBytes;
  static constexpr bool kChromaInOneTable = true;
  using Tail = SsePacker;
  using Pairs = __m128i;

  template <SampleMap kChroma>
  KELMAR_VECTOR_INLINE static Pairs LoadPairs(const PackedJob& job, const uint8_t* u,
                                              const uint8_t* v) {
    if (kChroma == SampleMap::kTables)
      return _mm_unpacklo_epi8(LookUpEight(job.tables->PackedUTable, u),
                               LookUpEight(job.tables->PackedVTable, v));
    const __m128i us = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(u));
    const __m128i vs = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(v));
    if (kChroma == SampleMap::kCopy) return _mm_unpacklo_epi8(us, vs);
    const __m128i both = _mm_unpacklo_epi64(us, vs);
    __m128i mapped;
    if constexpr (IsNibbles(kChroma)) {
      // U's table serves V too: the writer takes the halves only then.
      mapped =
          LookupByNibbles<Bytes128, LowersOf(kChroma)>(job.tables->lookups.chromaNibbles, 0, both);
    } else {
      // U in bytes 0-7 and V in 8-15, each through its own ramp.
      mapped = ComputeChromaRamps<RoundingOf(kChroma)>(job.tables->lookups, both);
    }
    return _mm_unpacklo_epi8(mapped, _mm_unpackhi_epi64(mapped, mapped));
  }

  template <bool kYuy2, SampleMap kLuma>
  KELMAR_VECTOR_INLINE static void PackRow(const PackedJob& job, const uint8_t* y, Pairs uv,
                                           uint8_t* out) {
    __m128i luma;
    if (kLuma == SampleMap::kTables) {
      luma = _mm_unpacklo_epi64(LookUpEight(job.tables->PackedLumaTable, y),
                                LookUpEight(job.tables->PackedLumaTable, y + 8));
    } else {
      luma = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y));
      if constexpr (IsRamp(kLuma))
        luma = ComputeLumaRamp<RoundingOf(kLuma)>(job.tables->lookups, luma);
      if constexpr (IsNibbles(kLuma))
        luma = LookupByNibbles<Bytes128, LowersOf(kLuma)>(job.tables->lookups.lumaNibbles, 0, luma);
    }
    const __m128i low = kYuy2 ? _mm_unpacklo_epi8(luma, uv) : _mm_unpacklo_epi8(uv, luma);
    const __m128i high = kYuy2 ? _mm_unpackhi_epi8(luma, uv) : _mm_unpackhi_epi8(uv, luma);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), low);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), high);
  }
};

}  // namespace
}  // namespace kelmar
